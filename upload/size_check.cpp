#include "upload/size_check.h"

#include "upload/input_file.h"

#include <cstdio>
#include <cstdlib>

namespace tovelin {

std::int64_t fileByteSize(const std::string& path)
{
    return openInputFile(path).length;
}

bool isAcceptedSize(std::int64_t bytes)
{
    return bytes > 0 && bytes <= kMaxUploadBytes;
}

std::string sizeText(std::int64_t bytes, std::string_view decimalSeparator)
{
    const double kilobytes = static_cast<double>(bytes) / 1024.0;

    // 15 significant digits in scientific form, then laid out in plain notation by hand:
    // the label must never show an exponent, however small the value.
    char scientific[40];
    std::snprintf(scientific, sizeof scientific, "%.14e", kilobytes);
    std::string_view text(scientific);
    const bool negative = text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    const auto exponentAt = text.find('e');
    std::string digits;
    for (char c : text.substr(0, exponentAt)) {
        if (c != '.') {
            digits += c;
        }
    }
    const int exponent = std::atoi(std::string(text.substr(exponentAt + 1)).c_str());

    std::string integerPart;
    std::string fraction;
    if (digits.find_first_not_of('0') == std::string::npos) {
        integerPart = "0";
    } else if (exponent >= 0) {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (integerDigits >= digits.size()) {
            integerPart = digits + std::string(integerDigits - digits.size(), '0');
        } else {
            integerPart = digits.substr(0, integerDigits);
            fraction = digits.substr(integerDigits);
        }
    } else {
        integerPart = "0";
        fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }

    std::string result = negative && integerPart + fraction != "0" ? "-" : "";
    result += integerPart;
    if (!fraction.empty()) {
        result += decimalSeparator;
        result += fraction;
    }
    return result + " кб";
}

} // namespace tovelin
