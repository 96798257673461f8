#pragma once

#include "upload/post_result.h"
#include "upload/reply_state.h"

#include <optional>
#include <string>
#include <string_view>

namespace tovelin {

// How an upload ended for the user: a download link, a failure's text, or nothing to
// show (the host accepted without a link, or the post was cancelled).
struct UploadOutcome
{
    enum class Kind
    {
        Link,
        Failure,
        Nothing
    };

    Kind kind = Kind::Nothing;
    std::string text;
};

UploadOutcome uploadOutcome(const PostResult& result, const ReplyState& reply,
                            std::string_view linkPrefix);

// What the link box gets after a post: the download link, the failure's text, or
// nothing (the box keeps its text).
std::optional<std::string> linkBoxText(const PostResult& result, const ReplyState& reply,
                                       std::string_view linkPrefix);

} // namespace tovelin
