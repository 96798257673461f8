#pragma once

#include <string_view>

namespace tovelin {

enum class ReplyJudgement
{
    Interim,
    Redirect,
    Success,
    HttpError
};

// The first rule that fits: 100 is interim; a Location, or a 3xx other than 304, is a
// redirect; 2xx is success; everything else is an HTTP error.
ReplyJudgement judgeReply(int statusCode, std::string_view location);

} // namespace tovelin
