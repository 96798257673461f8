#pragma once

#include "upload/post_result.h"
#include "upload/reply_state.h"

#include <optional>
#include <string>
#include <string_view>

namespace tovelin {

// What the link box gets after a post: the download link, the failure's text, or
// nothing (the box keeps its text).
std::optional<std::string> linkBoxText(const PostResult& result, const ReplyState& reply,
                                       std::string_view linkPrefix);

} // namespace tovelin
