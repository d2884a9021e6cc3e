// The reception window's texts and QR image, without a server: the address
// of a code, the name rule, the warnings of an address, and the QR image of a
// long address read back module by module.
#include <gtest/gtest.h>

#include "corvana/data/Error.h"
#include "reception/QrReadBack.h"
#include "reception/TfrmRecepcao.h"

using reception_test::ReadBack;
using reception_test::Reference;

TEST(ReceptionText, AddressNameAndQrImage) {
    EXPECT_EQ(TfrmRecepcao::EnrolmentAddress("https://10.0.0.12:8078/", "ABCDEFGH23"),
              "https://10.0.0.12:8078/recepcao#codigo=ABCDEFGH23");
    EXPECT_EQ(TfrmRecepcao::NameProblem(" \t"), "Informe o nome da estação.");
    EXPECT_EQ(TfrmRecepcao::NameProblem(std::string(30, 'x')), "");
    EXPECT_EQ(TfrmRecepcao::NameProblem("Portaria da Ação Ção " + std::string(9, 'x')), "");
    EXPECT_NE(TfrmRecepcao::NameProblem(std::string(31, 'x')), "");
    EXPECT_NE(TfrmRecepcao::AddressWarning("http://localhost:8078"), "");
    EXPECT_NE(TfrmRecepcao::AddressWarning("https://[::1]:8078"), "");
    EXPECT_EQ(TfrmRecepcao::AddressWarning("http://10.0.0.12:8078"),
              "Sem HTTPS, o navegador do tablet não guarda a página para trabalhar sem rede.");
    EXPECT_EQ(TfrmRecepcao::AddressWarning("https://10.0.0.12:8078"), "");

    const std::string address =
        "https://recepcao.salao-de-festas.example:8078/recepcao#codigo=ABCDEFGH23";
    const evt::reception::QrMatrix matrix = evt::reception::QrEncode(address);
    EXPECT_EQ(matrix.dark, Reference(address).dark);
    EXPECT_EQ(matrix.width, Reference(address).width);
    const QImage image = evt::reception::QrImage(matrix, 3);
    EXPECT_EQ(image.width(), (matrix.width + 8) * 3);
    EXPECT_EQ(ReadBack(image, matrix.width).dark, matrix.dark);
    EXPECT_THROW(evt::reception::QrEncode(std::string(8000, 'x')), corvana::Error);
}
