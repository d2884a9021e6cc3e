#include "corvana/net/TNetConnection.h"

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <utility>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"

namespace corvana {

namespace {

// A path segment with every byte outside the unreserved set percent-encoded,
// so that a name cannot add segments or a query to the path.
std::string encodeSegment(const std::string& text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            u == '-' || u == '.' || u == '_' || u == '~') {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 0x0F];
        }
    }
    return out;
}

// The {"$error": text} message of a refusal, or "" when the body is not one.
std::string serverMessage(const std::string& body) {
    try {
        const Variant answer = Variant::fromJson(body);
        if (answer.isError()) return answer.errorMessage();
    } catch (const Error&) {
    }
    return {};
}

}  // namespace

struct TNetConnection::Impl {
    std::string serverName;
    std::string host;
    int port = 0;
    bool throwException = true;
    bool connected = false;
    std::vector<std::string> methods;
    std::string lastError;
    std::chrono::milliseconds connectTimeout{3000};
    std::chrono::milliseconds readTimeout{120000};
    std::unique_ptr<httplib::Client> client;

    std::string address() const { return host + ":" + std::to_string(port); }
    std::string unreachable() const {
        return "Não foi possível conectar ao servidor de aplicação em " + address() + ".";
    }

    void applyTimeouts() {
        client->set_connection_timeout(connectTimeout);
        client->set_read_timeout(readTimeout);
        client->set_write_timeout(readTimeout);
    }

    // A failure below HTTP: nothing listens, the connect or the answer took
    // too long, the connection broke.
    Error transportError(httplib::Error error, const std::string& what) const {
        switch (error) {
            case httplib::Error::Connection:
            case httplib::Error::ConnectionTimeout:
            case httplib::Error::BindIPAddress:
                return Error(unreachable());
            case httplib::Error::Read:
                return Error("O servidor de aplicação em " + address() + " não respondeu " + what +
                             " (tempo esgotado ou conexão interrompida).");
            case httplib::Error::Write:
                return Error("Falha ao enviar " + what + " ao servidor de aplicação em " +
                             address() + " (conexão interrompida).");
            default:
                return Error("Falha de comunicação com o servidor de aplicação em " + address() +
                             " (" + httplib::to_string(error) + ").");
        }
    }

    // Opens the HTTP connection and checks, with the handshake, that the
    // server hosts the module. Raises corvana::Error.
    void connect() {
        if (serverName.empty())
            throw Error(
                "Informe o nome do módulo remoto (ServerName) antes de conectar ao servidor de "
                "aplicação.");
        if (host.empty() || port < 1 || port > 65535)
            throw Error("Endereço inválido para o servidor de aplicação: \"" + address() + "\".");
        client = std::make_unique<httplib::Client>(host, port);
        client->set_keep_alive(true);
        // Without it a kept-alive call waits ~40 ms on delayed ACKs.
        client->set_tcp_nodelay(true);
        applyTimeouts();

        auto res = client->Get("/" + encodeSegment(serverName));
        if (!res) {
            const Error error = transportError(res.error(), "ao pedido de conexão");
            client.reset();
            throw error;
        }
        if (res->status != 200) {
            client.reset();
            const std::string message = serverMessage(res->body);
            if (res->status == 404)
                throw Error("O servidor de aplicação em " + address() +
                            " não hospeda o módulo remoto " + serverName +
                            (message.empty() ? "." : " (" + message + ")."));
            throw Error(message.empty()
                            ? "O servidor de aplicação em " + address() +
                                  " recusou a conexão (HTTP " + std::to_string(res->status) + ")."
                            : message);
        }
        std::vector<std::string> announced;
        const auto handshake = nlohmann::json::parse(res->body, nullptr, false);
        bool valid = handshake.is_object() && handshake.contains("module") &&
                     handshake["module"].is_string() && handshake.contains("methods") &&
                     handshake["methods"].is_array();
        if (valid) {
            for (const auto& m : handshake["methods"]) {
                if (!m.is_string()) {
                    valid = false;
                    break;
                }
                announced.push_back(m.get<std::string>());
            }
        }
        if (!valid) {
            client.reset();
            throw Error("Resposta inválida do servidor de aplicação em " + address() +
                        " ao pedido de conexão.");
        }
        if (handshake["module"].get<std::string>() != serverName) {
            client.reset();
            throw Error("O servidor de aplicação em " + address() + " respondeu pelo módulo " +
                        handshake["module"].get<std::string>() + " em vez de " + serverName + ".");
        }
        methods = std::move(announced);
        connected = true;
        lastError.clear();
    }

    void close() {
        client.reset();
        connected = false;
        methods.clear();
    }
};

TNetConnection::TNetConnection() : impl_(std::make_unique<Impl>()) {
    impl_->host = Corvana::WebURL();
    impl_->port = Corvana::WebPort();
}

TNetConnection::TNetConnection(std::string serverName) : TNetConnection() {
    impl_->serverName = std::move(serverName);
}

TNetConnection::~TNetConnection() = default;

const std::string& TNetConnection::ServerName() const {
    return impl_->serverName;
}

void TNetConnection::SetServerName(std::string name) {
    if (name == impl_->serverName) return;
    impl_->close();
    impl_->serverName = std::move(name);
}

const std::string& TNetConnection::Host() const {
    return impl_->host;
}

void TNetConnection::SetHost(std::string host) {
    if (host == impl_->host) return;
    impl_->close();
    impl_->host = std::move(host);
}

int TNetConnection::Port() const {
    return impl_->port;
}

void TNetConnection::SetPort(int port) {
    if (port == impl_->port) return;
    impl_->close();
    impl_->port = port;
}

bool TNetConnection::Connected() const {
    return impl_->connected;
}

void TNetConnection::SetConnected(bool connected) {
    if (connected == impl_->connected) return;
    if (connected)
        Open();
    else
        Close();
}

void TNetConnection::Open() {
    impl_->close();
    try {
        if (BeforeConnect) BeforeConnect(*this);
        impl_->connect();
    } catch (const Error& e) {
        impl_->close();
        impl_->lastError = e.what();
        if (impl_->throwException) throw;
    }
}

void TNetConnection::Close() {
    impl_->close();
}

bool TNetConnection::ThrowException() const {
    return impl_->throwException;
}

void TNetConnection::SetThrowException(bool value) {
    impl_->throwException = value;
}

Variant TNetConnection::Call(const std::string& method, std::vector<Variant> args) {
    if (!impl_->connected) {
        // One attempt; a call cannot go on without a server, so this raises
        // whatever ThrowException says.
        try {
            if (BeforeConnect) BeforeConnect(*this);
            impl_->connect();
        } catch (const Error& e) {
            impl_->close();
            impl_->lastError = e.what();
            throw;
        }
    }
    const std::string body = Variant(Variant::Array(std::move(args))).toJson();
    auto res =
        impl_->client->Post("/" + encodeSegment(impl_->serverName) + "/" + encodeSegment(method),
                            body, "application/json");
    if (!res) {
        // The connection is in doubt; the next call connects again.
        const Error error = impl_->transportError(res.error(), "à chamada " + method);
        impl_->close();
        throw error;
    }
    if (res->status == 200) {
        try {
            return Variant::fromJson(res->body);
        } catch (const Error& e) {
            throw Error("Resposta ilegível do servidor de aplicação em " + impl_->address() +
                        " à chamada " + method + ": " + e.what());
        }
    }
    const std::string message = serverMessage(res->body);
    if (!message.empty()) throw Error(message);
    throw Error("O servidor de aplicação em " + impl_->address() + " recusou a chamada " + method +
                " (HTTP " + std::to_string(res->status) + ").");
}

const std::vector<std::string>& TNetConnection::Methods() const {
    return impl_->methods;
}

const std::string& TNetConnection::LastError() const {
    return impl_->lastError;
}

void TNetConnection::SetConnectTimeout(std::chrono::milliseconds timeout) {
    impl_->connectTimeout = timeout;
    if (impl_->client) impl_->applyTimeouts();
}

void TNetConnection::SetReadTimeout(std::chrono::milliseconds timeout) {
    impl_->readTimeout = timeout;
    if (impl_->client) impl_->applyTimeouts();
}

}  // namespace corvana
