#include "upload/cookie_date.h"

#include "upload/header_fields.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <string>

namespace tovelin {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool allDigits(std::string_view token)
{
    if (token.empty()) {
        return false;
    }
    for (char c : token) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

int toNumber(std::string_view digits)
{
    int value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
    }
    return value;
}

int monthOf(std::string_view token)
{
    static constexpr std::array<std::string_view, 12> kMonths = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() < 3) {
        return 0;
    }
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (equalsIgnoringCase(token.substr(0, 3), kMonths[i])) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

bool readTime(std::string_view token, int& hour, int& minute, int& second)
{
    int parts[3] = {0, 0, 0};
    int count = 0;
    std::size_t start = 0;
    while (count < 3) {
        const std::size_t colon = token.find(':', start);
        const std::string_view piece = token.substr(
            start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
        if (!allDigits(piece) || piece.size() > 2) {
            return false;
        }
        parts[count++] = toNumber(piece);
        if (colon == std::string_view::npos) {
            break;
        }
        start = colon + 1;
    }
    if (count < 2) {
        return false;
    }
    hour = parts[0];
    minute = parts[1];
    second = parts[2];
    return hour <= 23 && minute <= 59 && second <= 60;
}

} // namespace

std::optional<std::chrono::system_clock::time_point> parseCookieDate(std::string_view text)
{
    int day = 0;
    int month = 0;
    int year = -1;
    int hour = -1;
    int minute = 0;
    int second = 0;

    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && !std::isalnum(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        std::size_t end = i;
        while (end < text.size() &&
               (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == ':')) {
            ++end;
        }
        const std::string_view token = text.substr(i, end - i);
        i = end;
        if (token.empty()) {
            continue;
        }
        if (token.find(':') != std::string_view::npos) {
            if (hour < 0 && !readTime(token, hour, minute, second)) {
                return std::nullopt;
            }
        } else if (allDigits(token)) {
            if (token.size() <= 2 && day == 0) {
                day = toNumber(token);
            } else if (year < 0 && (token.size() == 2 || token.size() == 4)) {
                year = toNumber(token);
            }
        } else if (month == 0) {
            month = monthOf(token);
        }
    }
    if (year >= 0 && year < 100) {
        year += year < 70 ? 2000 : 1900;
    }
    if (day < 1 || day > 31 || month == 0 || year < 1601 || hour < 0) {
        return std::nullopt;
    }
    // The clock's range ends in the 23rd century; a date past it means "far away" all the
    // same, one before 1970 "long gone".
    if (year < 1970) {
        return std::chrono::system_clock::time_point{};
    }
    year = std::min(year, 2200);
    const std::int64_t seconds =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
        std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
    return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
}

} // namespace tovelin
