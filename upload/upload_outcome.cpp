#include "upload/upload_outcome.h"

namespace tovelin {

namespace {

constexpr std::string_view kUploadMarker = "/upload/";

} // namespace

UploadOutcome uploadOutcome(const PostResult& result, const ReplyState& reply,
                            std::string_view linkPrefix)
{
    if (result.kind != PostResult::Kind::Failed) {
        return {};
    }
    // An empty Location names no file: the bare prefix would look like a link but is none.
    if (reply.statusCode == 302 && !reply.location.empty()) {
        std::string identifier = reply.location;
        if (const std::size_t at = identifier.find(kUploadMarker); at != std::string::npos) {
            identifier.erase(at, kUploadMarker.size());
        }
        return {UploadOutcome::Kind::Link, std::string(linkPrefix) + identifier};
    }
    return {UploadOutcome::Kind::Failure, result.message};
}

std::optional<std::string> linkBoxText(const PostResult& result, const ReplyState& reply,
                                       std::string_view linkPrefix)
{
    UploadOutcome outcome = uploadOutcome(result, reply, linkPrefix);
    if (outcome.kind == UploadOutcome::Kind::Nothing) {
        return std::nullopt;
    }
    return std::move(outcome.text);
}

} // namespace tovelin
