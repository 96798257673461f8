#include "upload/reply_judgement.h"

namespace tovelin {

ReplyJudgement judgeReply(int statusCode, std::string_view location)
{
    if (statusCode == 100) {
        return ReplyJudgement::Interim;
    }
    if (!location.empty() || (statusCode >= 300 && statusCode <= 399 && statusCode != 304)) {
        return ReplyJudgement::Redirect;
    }
    if (statusCode >= 200 && statusCode <= 299) {
        return ReplyJudgement::Success;
    }
    return ReplyJudgement::HttpError;
}

} // namespace tovelin
