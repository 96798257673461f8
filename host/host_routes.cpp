#include "host/host_routes.h"

#include "host/content_disposition.h"
#include "host/landing_page.h"
#include "host/upload_file_name.h"
#include "host/upload_limits.h"
#include "host/upload_store.h"
#include "upload/failure.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <httplib.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tovelin {
namespace {

using httplib::Request;
using httplib::Response;
using HandlerResponse = httplib::Server::HandlerResponse;

constexpr std::size_t kReadBlock = std::size_t{64} * 1024;

void reply(Response& res, int status, const std::string& text)
{
    res.status = status;
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}

// A request path is decoded and may hold line breaks; the log gets one line per request.
std::string printable(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    }
    return out;
}

bool isUploadPath(const std::string& path)
{
    return path == "/upload/" || path == "/upload";
}

std::optional<std::uint64_t> declaredLength(const Request& req)
{
    const std::string text = req.get_header_value("Content-Length");
    std::uint64_t value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

// Runs after the request head has arrived and before the library reads any body byte,
// so an oversized or unwanted body is refused without being received.
HandlerResponse screenBody(const Request& req, Response& res)
{
    const std::string& method = req.method;
    if (method != "POST" && method != "PUT" && method != "PATCH" && method != "DELETE") {
        return HandlerResponse::Unhandled;
    }
    if (method != "POST" || !isUploadPath(req.path)) {
        res.set_header("Allow", isUploadPath(req.path) ? "POST" : "GET, HEAD");
        reply(res, 405, "Method not allowed here; uploads go to POST /upload/");
        return HandlerResponse::Handled;
    }
    // The length must be known up front, or the size limit could only be checked by reading.
    if (req.has_header("Transfer-Encoding") || !req.has_header("Content-Length")) {
        reply(res, 411, "An upload needs a Content-Length");
        return HandlerResponse::Handled;
    }
    const std::optional<std::uint64_t> length = declaredLength(req);
    if (!length) {
        reply(res, 400, "Malformed Content-Length");
        return HandlerResponse::Handled;
    }
    if (*length > kMaxUploadBody) {
        reply(res, 413, "An upload may not exceed 51200 KB");
        return HandlerResponse::Handled;
    }
    // A compressed body could unpack to far more than its declared length.
    if (req.has_header("Content-Encoding")) {
        reply(res, 415, "Compressed uploads are not accepted");
        return HandlerResponse::Handled;
    }
    return HandlerResponse::Unhandled;
}

void receiveUpload(UploadStore& store, const Request& req, Response& res,
                   const httplib::ContentReader& readContent)
{
    if (!req.is_multipart_form_data()) {
        reply(res, 400, "An upload is a multipart/form-data body with a \"file\" part");
        return;
    }
    PendingUpload pending = store.begin();
    bool inFilePart = false;
    bool sawFilePart = false;
    bool storageFailed = false;
    std::string sentName;
    const bool complete = readContent(
        [&](const httplib::MultipartFormData& part) {
            // The first "file" part is the upload; any other part is read past and dropped.
            inFilePart = !sawFilePart && part.name == "file";
            if (inFilePart) {
                sawFilePart = true;
                sentName = part.filename;
            }
            return true;
        },
        [&](const char* data, std::size_t length) {
            if (!inFilePart) {
                return true;
            }
            if (!pending.write(data, length)) {
                storageFailed = true;
                return false;
            }
            return true;
        });
    if (storageFailed) {
        reply(res, 500, "The host could not store the upload");
        return;
    }
    if (!complete) {
        // Cut short or malformed; the pending file goes with `pending`.
        reply(res, 400, "The multipart/form-data body is incomplete or malformed");
        return;
    }
    if (!sawFilePart) {
        reply(res, 400, "The body has no part named \"file\"");
        return;
    }
    const std::string id = store.commit(pending, cleanUploadFileName(sentName));
    res.status = 302;
    res.set_header("Location", "/upload/" + id);
}

struct OpenFile
{
    struct Closer
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file;
    std::vector<char> buffer;
};

void serveUpload(const UploadStore& store, const std::string& id, Response& res)
{
    const std::optional<StoredUpload> upload = store.find(id);
    if (!upload) {
        reply(res, 404, "No file with this link");
        return;
    }
    res.status = 200;
    res.set_header("Content-Disposition", attachmentDisposition(upload->name));
    res.set_header("X-Content-Type-Options", "nosniff");
    if (upload->size == 0) {
        // The library frames an empty provider without a length; a plain empty body has one.
        res.set_content("", "application/octet-stream");
        return;
    }
    auto open = std::make_shared<OpenFile>();
    open->file.reset(std::fopen(upload->file.c_str(), "rb"));
    if (!open->file) {
        throw Failure("cannot open the stored bytes of upload " + id);
    }
    open->buffer.resize(kReadBlock);
    // Streamed from the file block by block, never loaded whole.
    res.set_content_provider(
        static_cast<std::size_t>(upload->size), "application/octet-stream",
        [open](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (::fseeko(open->file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) {
                return false;
            }
            const std::size_t want = std::min(length, open->buffer.size());
            const std::size_t got = std::fread(open->buffer.data(), 1, want, open->file.get());
            // A file cut since its size was read ends the connection rather than the body.
            return got > 0 && sink.write(open->buffer.data(), got);
        });
}

} // namespace

void installHostRoutes(httplib::Server& server, UploadStore& store)
{
    // A backstop for any body the screening lets through to the library's own reader.
    server.set_payload_max_length(kMaxUploadBody);
    // One request per connection: after a refused upload the unread body must not be
    // taken for the next request.
    server.set_keep_alive_max_count(1);
    // Room for a slow link's pauses; a client silent for longer loses its connection.
    server.set_read_timeout(30);
    server.set_write_timeout(60);
    server.set_pre_routing_handler(screenBody);
    // A client that asks before sending (curl does for large bodies) hears the refusal
    // instead of "100 Continue".
    server.set_expect_100_continue_handler([](const Request& req, Response& res) {
        return screenBody(req, res) == HandlerResponse::Handled ? res.status : 100;
    });

    server.Post("/upload/?", [&store](const Request& req, Response& res,
                                      const httplib::ContentReader& readContent) {
        receiveUpload(store, req, res, readContent);
    });
    server.Get("/", [](const Request&, Response& res) {
        const std::string_view page = landingPage();
        res.set_content(page.data(), page.size(), "text/html; charset=utf-8");
    });
    server.Get("/(?:upload/)?([^/]+)", [&store](const Request& req, Response& res) {
        serveUpload(store, req.matches[1].str(), res);
    });

    server.set_exception_handler([](const Request& req, Response& res, std::exception_ptr error) {
        std::string what = "unknown failure";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        std::fprintf(stderr, "tovelin-host: %s %s: %s\n", printable(req.method).c_str(),
                     printable(req.path).c_str(), what.c_str());
        reply(res, 500, "The host failed to handle this request");
    });
    server.set_error_handler([](const Request&, Response& res) {
        if (res.body.empty()) {
            reply(res, res.status, "HTTP error " + std::to_string(res.status));
        }
    });
    server.set_logger([](const Request& req, const Response& res) {
        std::fprintf(stderr, "tovelin-host: %s %s %s -> %d\n", req.remote_addr.c_str(),
                     printable(req.method).c_str(), printable(req.path).c_str(), res.status);
    });
}

} // namespace tovelin
