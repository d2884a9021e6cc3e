#include "endpoint/Router.h"

#include <exception>
#include <new>
#include <utility>

#include "corvana/data/Error.h"
#include "corvana/data/Variant.h"

namespace evt::server {

namespace {

// The path split into /<server name>/<method>; `method` is empty for
// /<server name>, and `extra` is set when more segments follow.
struct Target {
    std::string_view module;
    std::string_view method;
    bool hasMethod = false;
    bool extra = false;
};

Target splitPath(std::string_view path) {
    Target t;
    if (!path.empty() && path.front() == '/') path.remove_prefix(1);
    const auto slash = path.find('/');
    t.module = path.substr(0, slash);
    if (slash != std::string_view::npos) {
        t.hasMethod = true;
        path.remove_prefix(slash + 1);
        const auto next = path.find('/');
        t.method = path.substr(0, next);
        t.extra = next != std::string_view::npos;
    }
    return t;
}

constexpr const char* kNotAList =
    "Corpo da chamada inválido: deve ser uma lista de argumentos em JSON, como [\"0001\"].";

}  // namespace

Router::Router(std::vector<std::shared_ptr<RemoteDataModule>> modules) {
    for (auto& module : modules) {
        if (!module) throw corvana::Error("Módulo remoto nulo entregue ao servidor de aplicação.");
        const std::string name = module->Name();
        if (name.empty() || name.find_first_of("/?") != std::string::npos)
            throw corvana::Error("Nome de módulo remoto inválido: \"" + name + "\".");
        if (hosted_.contains(name))
            throw corvana::Error("Módulo remoto hospedado duas vezes: " + name);
        Hosted h;
        h.module = module;
        std::string methods;
        for (const std::string& method : module->Methods()) {
            if (method.empty() || method.find_first_of("/?") != std::string::npos)
                throw corvana::Error("Nome de método inválido no módulo " + name + ": \"" + method +
                                     "\".");
            if (!h.methods.insert(method).second) continue;
            if (!methods.empty()) methods += ',';
            methods += corvana::Variant(method).toJson();
        }
        h.handshake =
            "{\"module\":" + corvana::Variant(name).toJson() + ",\"methods\":[" + methods + "]}";
        order_.push_back(name);
        hosted_.emplace(name, std::move(h));
    }
}

std::vector<std::string> Router::ModuleNames() const {
    return order_;
}

std::string Router::MethodLabel(std::string_view path) const {
    const Target t = splitPath(path.substr(0, path.find('?')));
    const auto it = hosted_.find(t.module);
    if (it == hosted_.end() || t.extra) return "outro";
    if (!t.hasMethod) return "handshake";
    return it->second.methods.contains(t.method) ? std::string(t.method) : "outro";
}

std::string Router::AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string_view Router::TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string Router::Printable(std::string_view text, std::size_t max) {
    std::string out;
    for (char c : text.substr(0, max)) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u == 0x7f) ? '?' : c;
    }
    if (text.size() > max) out += "...";
    return out;
}

RouterAnswer Router::Refusal(int status, const std::string& message) {
    RouterAnswer answer;
    answer.status = status;
    answer.body = corvana::Variant::serverError(message).toJson();
    answer.outcome =
        (status >= 500 ? std::string("error") : std::to_string(status)) + ": " + Printable(message);
    return answer;
}

std::string Router::VerbRefused(std::string_view verb) {
    return "Método HTTP não aceito: " + Printable(verb, 20) +
           ". Use GET /<módulo> para conectar e POST /<módulo>/<método> para chamar.";
}

std::string Router::notFound(std::string_view path) const {
    const Target t = splitPath(path);
    if (t.module.empty()) return "Caminho desconhecido: " + Printable(path, 200);
    const auto it = hosted_.find(t.module);
    if (it == hosted_.end()) return "Módulo remoto não hospedado: " + Printable(t.module, 200);
    if (t.hasMethod && !t.extra && !it->second.methods.contains(t.method))
        return "Método desconhecido: " + Printable(t.method, 200);
    return "Caminho desconhecido: " + Printable(path, 200);
}

RouterAnswer Router::Handle(std::string_view verb, std::string_view target,
                            std::string_view contentType, std::string_view body) const {
    // The one error boundary: whatever the call raises becomes an answer.
    try {
        try {
            return route(verb, target.substr(0, target.find('?')), contentType, body);
        } catch (const UnknownMethod& e) {
            return Refusal(404, e.what());
        } catch (const BadRequest& e) {
            return Refusal(400, e.what());
        } catch (const std::bad_alloc&) {
            return Refusal(500,
                           "Memória insuficiente no servidor de aplicação para atender a chamada.");
        } catch (const std::exception& e) {
            return Refusal(500, std::string("Erro interno do servidor de aplicação: ") + e.what());
        } catch (...) {
            return Refusal(500, "Erro interno do servidor de aplicação.");
        }
    } catch (...) {
        // Not even the refusal could be built (memory).
        RouterAnswer answer;
        answer.status = 500;
        return answer;
    }
}

RouterAnswer Router::route(std::string_view verb, std::string_view path,
                           std::string_view contentType, std::string_view body) const {
    const bool isGet = verb == "GET" || verb == "HEAD";
    if (!isGet && verb != "POST") return Refusal(405, VerbRefused(verb));
    const Target t = splitPath(path);
    const auto it = hosted_.find(t.module);
    if (isGet) {
        if (!body.empty()) return Refusal(400, "Uma consulta GET não leva corpo.");
        if (it == hosted_.end() || t.hasMethod) return Refusal(404, notFound(path));
        return RouterAnswer{200, it->second.handshake, "ok"};
    }
    if (it == hosted_.end() || !t.hasMethod || t.extra || !it->second.methods.contains(t.method))
        return Refusal(404, notFound(path));
    const Hosted& h = it->second;

    if (!contentType.empty() &&
        AsciiLower(TrimSpaces(contentType.substr(0, contentType.find(';')))) != "application/json")
        return Refusal(415, "Tipo de conteúdo não aceito: \"" + Printable(contentType, 80) +
                                "\". Use application/json.");

    // Only an array can hold the arguments: anything else (an object, a
    // text, an empty body) is refused before it is read.
    const auto first = body.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || body[first] != '[') return Refusal(400, kNotAList);
    corvana::Variant args;
    try {
        // Streaming read: refuses nesting deeper than 64 levels and text
        // that is not UTF-8 without building anything from it. The rows of
        // packets go straight into packed rows, so every call a screen makes
        // holds at most about 2.6 times its body (docs/server.md); the read
        // stops once the arguments would hold more than three times the
        // body and 1 MiB, which lists of tiny values outside packets (15 to
        // 55 times) and packets of one-letter cells (7 times) pass.
        constexpr std::size_t kMemoryPerBodyByte = 3, kMemoryBase = std::size_t{1} << 20;
        args = corvana::Variant::fromJson(body, kMemoryBase + kMemoryPerBodyByte * body.size(),
                                          corvana::Variant::PacketRows::Packed);
    } catch (const corvana::MemoryLimitError&) {
        return Refusal(413,
                       "Corpo da chamada exige memória demais para ser lido; divida a chamada em "
                       "partes menores.");
    } catch (const corvana::Error& e) {
        return Refusal(400, std::string("Corpo da chamada inválido: ") + e.what());
    }
    if (!args.isArray()) return Refusal(400, kNotAList);

    RemoteDataModule::JsonAnswer answer = h.module->CallJson(std::string(t.method), args.asArray());
    RouterAnswer out;
    out.body = std::move(answer.text);
    out.outcome = answer.refusal ? "refused: " + Printable(*answer.refusal) : "ok";
    return out;
}

}  // namespace evt::server
