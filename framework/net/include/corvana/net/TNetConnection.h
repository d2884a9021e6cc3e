#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "corvana/data/DataPacket.h"
#include "corvana/data/PackedRow.h"
#include "corvana/data/Variant.h"

namespace corvana {

// A screen's connection to a remote data module of the application server
// (docs/protocol.md). Methods are called late-bound, by name, with
// positional arguments:
//
//   TNetConnection conn("evt07800.rdmListConv");
//   conn.BeforeConnect = [](TNetConnection& c) {
//       c.SetHost(Corvana::WebURL());
//       c.SetPort(Corvana::WebPort());
//   };
//   Variant answer = Consiste::CheckResultServ(conn.Call("GetOrca", {"0001", "0000000123"}));
//
// Connecting does the handshake (GET /<ServerName>) and checks the server
// hosts the module. One HTTP connection is kept alive between calls. A call
// on a closed connection connects first. Not thread-safe: use one
// connection per thread.
//
// Each connect reads the access token (Corvana::AccessToken(), sent on every
// request as "Authorization: Bearer") and, with Corvana::WebTLS(), connects
// with HTTPS, checking the server's certificate against Corvana::TLSCAFile()
// (or the system's store) and the host name; see docs/protocol.md.
class TNetConnection {
public:
    // Host and port start from the settings in force (Corvana::WebURL() and
    // Corvana::WebPort()).
    TNetConnection();
    explicit TNetConnection(std::string serverName);
    ~TNetConnection();
    TNetConnection(const TNetConnection&) = delete;
    TNetConnection& operator=(const TNetConnection&) = delete;

    // The remote data module, e.g. "evt07800.rdmListConv". Changing it, the
    // host or the port closes an open connection.
    const std::string& ServerName() const;
    void SetServerName(std::string name);
    const std::string& Host() const;
    void SetHost(std::string host);
    int Port() const;
    void SetPort(int port);

    bool Connected() const;
    // true connects (see Open), false closes.
    void SetConnected(bool connected);
    // Runs BeforeConnect, connects and does the handshake. On failure the
    // connection stays closed; with ThrowException it raises corvana::Error,
    // without it returns quietly (LastError() tells why).
    void Open();
    void Close();

    // Whether a failed connect raises (default true). Calls always raise on
    // transport failures.
    bool ThrowException() const;
    void SetThrowException(bool value);

    // Runs each time the connection is about to connect, so that a screen
    // can set the host and port from its settings.
    std::function<void(TNetConnection&)> BeforeConnect;

    // Calls `method` with positional arguments and returns the answer. A
    // refusal of the server (a repeated name, a row changed by another user)
    // is returned as an error Variant for the caller's result check
    // (Consiste::CheckResultServ). Raises corvana::Error when the server
    // cannot be reached, does not answer in time, refuses the request
    // (4xx/5xx, with the server's message) or answers something unreadable.
    Variant Call(const std::string& method, std::vector<Variant> args);
    // As Call, for a method that answers a data packet for a dataset, alone
    // or among the elements of an array: the packet's rows are packed as
    // they are read (PackedData), never held as values, for
    // ClientDataSet::SetData, and `other` holds the rest of the answer (the
    // array, null where the packet was). Any other answer (a server error,
    // say) comes back in `other`, and nothing is answered
    // (PackedData::fromAnswerJson).
    std::optional<PackedData> CallData(const std::string& method, std::vector<Variant> args,
                                       Variant& other);

    // The methods the module announced in the handshake.
    const std::vector<std::string>& Methods() const;
    // Why the last connect failed ("" after a successful one).
    const std::string& LastError() const;

    // Time-outs: connecting (default 3 s) and waiting for an answer
    // (default 120 s, for big imports). Take effect on the next connect.
    void SetConnectTimeout(std::chrono::milliseconds timeout);
    void SetReadTimeout(std::chrono::milliseconds timeout);

private:
    // One connection attempt (BeforeConnect, then the handshake); on failure
    // the connection is closed, LastError says why, and the error is raised.
    void connectOnce();
    // Sends the call and hands a 200 answer's body to `read`; raises for
    // everything else.
    void send(const std::string& method, std::vector<Variant> args,
              const std::function<void(const std::string&)>& read);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace corvana
