#include "reception/StaticFiles.h"

#include <zlib.h>

#include <algorithm>

#include "corvana/data/Error.h"
#include "endpoint/Router.h"
#include "reception/ReceptionSupport.h"

namespace evt::server::reception {

namespace {

std::string gzip(std::string_view data) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw corvana::Error("Falha ao iniciar a compressão gzip.");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END) throw corvana::Error("Falha na compressão gzip.");
    return out;
}

bool compressible(const std::string& type) {
    return type.starts_with("text/") || type.starts_with("application/javascript") ||
           type.starts_with("application/json") || type.starts_with("application/manifest") ||
           type.starts_with("image/svg");
}

// Whether an If-None-Match header names the tag (or is "*"); weak tags
// compare as strong ones.
bool matches(std::string_view header, const std::string& etag) {
    while (!header.empty()) {
        const auto comma = header.find(',');
        std::string_view tag = Router::TrimSpaces(header.substr(0, comma));
        if (tag == "*") return true;
        if (tag.starts_with("W/")) tag.remove_prefix(2);
        if (tag == etag) return true;
        if (comma == std::string_view::npos) break;
        header.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace

std::string StaticFiles::ContentType(std::string_view name) {
    const auto dot = name.rfind('.');
    const std::string ext =
        dot == std::string_view::npos ? std::string() : Router::AsciiLower(name.substr(dot));
    if (ext == ".html" || ext == ".htm") return "text/html; charset=utf-8";
    if (ext == ".css") return "text/css; charset=utf-8";
    if (ext == ".js" || ext == ".mjs") return "application/javascript; charset=utf-8";
    if (ext == ".json") return "application/json; charset=utf-8";
    if (ext == ".webmanifest") return "application/manifest+json; charset=utf-8";
    if (ext == ".svg") return "image/svg+xml";
    if (ext == ".png") return "image/png";
    if (ext == ".ico") return "image/x-icon";
    if (ext == ".txt") return "text/plain; charset=utf-8";
    if (ext == ".woff2") return "font/woff2";
    return "application/octet-stream";
}

bool StaticFiles::AcceptsGzip(std::string_view header) {
    while (!header.empty()) {
        const auto comma = header.find(',');
        const std::string_view item = Router::TrimSpaces(header.substr(0, comma));
        const auto semicolon = item.find(';');
        const std::string coding =
            Router::AsciiLower(Router::TrimSpaces(item.substr(0, semicolon)));
        if (coding == "gzip" || coding == "x-gzip" || coding == "*") {
            bool refused = false;
            if (semicolon != std::string_view::npos) {
                std::string params = Router::AsciiLower(item.substr(semicolon + 1));
                params.erase(std::remove(params.begin(), params.end(), ' '), params.end());
                // q=0, q=0.0, q=0.00, q=0.000: not acceptable.
                if (params.starts_with("q=0")) {
                    refused = params.find_first_not_of("0.", 2) == std::string::npos;
                }
            }
            return !refused;
        }
        if (comma == std::string_view::npos) break;
        header.remove_prefix(comma + 1);
    }
    return false;
}

StaticFiles::StaticFiles(const std::vector<AssetFile>& files) {
    for (const AssetFile& f : files) {
        File file;
        file.type = ContentType(f.name);
        file.data = std::string(f.data);
        const std::string digest = DigestHex(file.data).substr(0, 20);
        file.etag = "\"" + digest + "\"";
        if (compressible(file.type) && file.data.size() > 256) {
            std::string packed = gzip(file.data);
            if (packed.size() < file.data.size()) {
                file.gzipped = std::move(packed);
                file.gzipEtag = "\"" + digest + "-gz\"";
            }
        }
        files_.emplace(std::string(f.name), std::move(file));
    }
}

WebAnswer StaticFiles::Serve(std::string_view name, std::string_view acceptEncoding,
                             std::string_view ifNoneMatch) const {
    if (name.empty()) name = "index.html";
    WebAnswer answer;
    const auto it = files_.find(name);
    if (it == files_.end()) {
        answer.status = 404;
        answer.contentType = "text/plain; charset=utf-8";
        answer.body = files_.empty() ? "A página da recepção não foi incluída neste servidor.\n"
                                     : "Arquivo não encontrado.\n";
        answer.outcome = "404: arquivo da recepção não encontrado";
        answer.headers = {{"X-Content-Type-Options", "nosniff"}};
        return answer;
    }
    const File& file = it->second;
    const bool gzipped = !file.gzipped.empty() && AcceptsGzip(acceptEncoding);
    const std::string& etag = gzipped ? file.gzipEtag : file.etag;
    answer.contentType = file.type;
    answer.headers = {{"ETag", etag},
                      {"Cache-Control", "no-cache"},
                      {"Content-Security-Policy", kContentSecurityPolicy},
                      {"X-Content-Type-Options", "nosniff"},
                      {"Referrer-Policy", "no-referrer"}};
    if (!file.gzipped.empty()) answer.headers.emplace_back("Vary", "Accept-Encoding");
    // The service worker may take the whole of /recepcao, the page too.
    if (file.type.starts_with("application/javascript"))
        answer.headers.emplace_back("Service-Worker-Allowed", "/recepcao");
    if (!ifNoneMatch.empty() && matches(ifNoneMatch, etag)) {
        answer.status = 304;
        answer.outcome = "304";
        return answer;
    }
    if (gzipped) {
        answer.headers.emplace_back("Content-Encoding", "gzip");
        answer.body = file.gzipped;
    } else {
        answer.body = file.data;
    }
    return answer;
}

}  // namespace evt::server::reception
