#include "upload/cookie_date.h"
#include "upload/cookie_store.h"

#include <gtest/gtest.h>

namespace tovelin {
namespace {

using namespace std::chrono_literals;
using Clock = CookieStore::Clock;

const Clock::time_point kNow = Clock::time_point(std::chrono::seconds(1700000000));

std::vector<std::string> setCookies(std::initializer_list<std::string> values)
{
    std::vector<std::string> lines;
    for (const std::string& value : values) {
        lines.push_back("Set-Cookie: " + value);
    }
    return lines;
}

TEST(CookieStore, SendsByTheRules)
{
    const struct
    {
        const char* name;
        std::string setCookie;
        bool sent;
    } cases[] = {
        {"root_path", "a=1; path=/", true},
        {"no_path_never_sent", "a=1", false},
        {"upload_path", "a=1; Path=/upload/", true},
        {"quoted_path", "a=1; path=\"/upload\"", true},
        {"other_path", "a=1; path=/other", false},
        {"path_letter_case_counts", "a=1; path=/UPLOAD", false},
        {"secure", "a=1; path=/; secure", false},
        {"empty_value", "a=; path=/", false},
        {"no_equals_sign", "a; path=/", false},
        {"expired", "a=1; path=/; expires=Thu, 01-Jan-1998 00:00:00 GMT", false},
        {"not_yet_expired", "a=1; path=/; expires=Fri, 31 Dec 2100 23:59:59 GMT", true},
        {"max_age_zero", "a=1; path=/; max-age=0", true},
        {"max_age_future", "a=1; path=/; max-age=60", true},
        {"expires_wins_over_max_age",
         "a=1; path=/; max-age=60; expires=Thu, 01 Jan 1998 00:00:00 GMT", false},
        {"own_domain", "a=1; path=/; domain=files.example.com", true},
        {"dotted_tail", "a=1; path=/; domain=.example.com", true},
        {"dotted_tail_letter_case", "a=1; path=/; domain=.EXAMPLE.com", false},
        {"foreign_domain", "a=1; path=/; domain=other.com", false},
        {"parent_without_dot", "a=1; path=/; domain=example.com", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CookieStore store;
        store.storeFromHeaderBlock(setCookies({c.setCookie}), "files.example.com", kNow);
        EXPECT_EQ(store.cookieLine("files.example.com", "/upload/", kNow), c.sent ? "a=1" : "");
    }
}

TEST(CookieStore, MaxAgeZeroIsGoneOnceTimeMoves)
{
    CookieStore store;
    store.storeFromHeaderBlock(setCookies({"a=1; path=/; max-age=0", "b=2; path=/; max-age=10"}),
                               "h", kNow);
    EXPECT_EQ(store.cookieLine("h", "/upload/", kNow + 1s), "b=2");
    EXPECT_EQ(store.cookieLine("h", "/upload/", kNow + 11s), "");
    EXPECT_EQ(store.size(), 0u);
}

TEST(CookieStore, OrderedByPathFromTheGreatest)
{
    CookieStore store;
    store.storeFromHeaderBlock(setCookies({"root=1; path=/", "deep=2; path=/upload/",
                                           "mid=3; path=/Up", "mid2=4; path=/up"}),
                               "h", kNow);
    // "/Up" and "/up" are equal ignoring case: they keep the order they were set in.
    EXPECT_EQ(store.cookieLine("h", "/upload/", kNow), "deep=2; mid2=4; root=1");
    EXPECT_EQ(store.cookieLine("h", "/Upload/", kNow), "mid=3; root=1");
}

TEST(CookieStore, SameNameReplacesIgnoringCase)
{
    CookieStore store;
    store.storeFromHeaderBlock(setCookies({"Sid=old; path=/"}), "h", kNow);
    store.storeFromHeaderBlock(setCookies({"SID=new; path=/"}), "h", kNow);
    EXPECT_EQ(store.size(), 1u);
    EXPECT_EQ(store.cookieLine("h", "/upload/", kNow), "SID=new");
    // Replacing with a secure one stops it being sent.
    store.storeFromHeaderBlock(setCookies({"sid=x; path=/; secure"}), "h", kNow);
    EXPECT_EQ(store.cookieLine("h", "/upload/", kNow), "");
}

TEST(CookieStore, IpAddressHostsNeedTheExactDomain)
{
    CookieStore store;
    store.storeFromHeaderBlock(setCookies({"a=1; path=/; domain=.0.0.1", "b=2; path=/"}),
                               "127.0.0.1", kNow);
    EXPECT_EQ(store.cookieLine("127.0.0.1", "/upload/", kNow), "b=2");
}

TEST(CookieStore, SetCookieTwoLinesComeAfterTheOthers)
{
    CookieStore store;
    store.storeFromHeaderBlock(
        {"Set-Cookie2: a=two; path=/", "set-cookie: a=one; path=/", "Set-Cookie: b=1; path=/"}, "h",
        kNow);
    EXPECT_EQ(store.cookieLine("h", "/upload/", kNow), "b=1; a=two");
}

TEST(CookieStore, FoldedSetCookieIsOneField)
{
    CookieStore store;
    store.storeFromHeaderBlock({"Set-Cookie: a=1;", " path=/"}, "h", kNow);
    EXPECT_EQ(store.cookieLine("h", "/upload/", kNow), "a=1");
}

TEST(CookieStore, KeepsFiftyPerDomainDroppingTheOldest)
{
    CookieStore store;
    for (int i = 0; i < 60; ++i) {
        store.storeFromHeaderBlock(setCookies({"c" + std::to_string(i) + "=v; path=/"}), "h", kNow);
    }
    EXPECT_EQ(store.size(), 50u);
    const std::string line = store.cookieLine("h", "/upload/", kNow);
    EXPECT_EQ(line.find("c9="), std::string::npos);
    EXPECT_EQ(line.rfind("c10=v", 0), 0u);
    EXPECT_NE(line.find("c59=v"), std::string::npos);

    // Setting an old name again makes it the newest, so it survives the next eviction.
    store.storeFromHeaderBlock(setCookies({"c10=again; path=/"}), "h", kNow);
    store.storeFromHeaderBlock(setCookies({"fresh=1; path=/"}), "h", kNow);
    const std::string after = store.cookieLine("h", "/upload/", kNow);
    EXPECT_NE(after.find("c10=again"), std::string::npos);
    EXPECT_EQ(after.find("c11="), std::string::npos);
}

TEST(CookieStore, IgnoresOverlongSetCookieLines)
{
    const std::string prefix = "Set-Cookie: big=";
    const std::string suffix = "; path=/";
    const std::string fits =
        prefix + std::string(4096 - prefix.size() - suffix.size(), 'v') + suffix;
    ASSERT_EQ(fits.size(), 4096u);
    const std::string over =
        prefix + std::string(4097 - prefix.size() - suffix.size(), 'w') + suffix;

    CookieStore store;
    store.storeFromHeaderBlock({fits}, "h", kNow);
    EXPECT_EQ(store.size(), 1u);
    store.storeFromHeaderBlock({over}, "h", kNow);
    EXPECT_EQ(store.cookieLine("h", "/upload/", kNow).find('w'), std::string::npos);
}

TEST(CookieDate, CommonForms)
{
    const auto expected = Clock::time_point(std::chrono::seconds(784111777)); // 1994-11-06 08:49:37
    EXPECT_EQ(parseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
    EXPECT_EQ(parseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), expected);
    EXPECT_EQ(parseCookieDate("Sun Nov  6 08:49:37 1994"), expected);
    EXPECT_EQ(parseCookieDate("garbage"), std::nullopt);
    EXPECT_EQ(parseCookieDate("Sun, 06 Nov 1994"), std::nullopt);
    EXPECT_EQ(parseCookieDate("Sun, 32 Nov 1994 08:49:37 GMT"), std::nullopt);
    // Far dates stay in the clock's range.
    EXPECT_GT(parseCookieDate("Fri, 31 Dec 9999 23:59:59 GMT"), kNow);
    EXPECT_LT(parseCookieDate("Mon, 01 Jan 1601 00:00:00 GMT"), kNow);
}

} // namespace
} // namespace tovelin
