// Which proxy of a Windows proxy list serves https, and which hosts the
// bypass list takes past it.
#include "setup/proxy_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vant {
namespace {

struct ProxyList {
  const char* name;
  std::u16string list;
  std::optional<std::string> proxy;
};

class HttpsProxyFrom : public ::testing::TestWithParam<ProxyList> {};

TEST_P(HttpsProxyFrom, PicksTheHttpsProxy) { EXPECT_EQ(https_proxy_from(GetParam().list), GetParam().proxy); }

INSTANTIATE_TEST_SUITE_P(
    Lists, HttpsProxyFrom,
    ::testing::Values(
        ProxyList{"OneForAll", u"proxy.corp.example:8080", "http://proxy.corp.example:8080"},
        ProxyList{"NoPort", u"proxy", "http://proxy:80"}, ProxyList{"Ipv4", u"10.0.0.1:3128", "http://10.0.0.1:3128"},
        ProxyList{"Ipv6", u"[fd00::1]:3128", "http://[fd00::1]:3128"},
        ProxyList{"HttpSchemeAllowed", u"http://proxy:8080/", "http://proxy:8080"},
        ProxyList{"PerScheme", u"http=a:80;https=b:3128;ftp=c:21", "http://b:3128"},
        ProxyList{"PerSchemeCase", u"HTTP=a:80;HTTPS=b:3128", "http://b:3128"},
        ProxyList{"PerSchemeWithoutHttps", u"http=a:80;ftp=c:21", std::nullopt},
        ProxyList{"SocksOnly", u"socks=s:1080", std::nullopt},
        ProxyList{"ListFromAScript", u"p1:8080; p2:8080", "http://p1:8080"},
        ProxyList{"WhiteSpace", u"  p1:8080\tp2:8080 ", "http://p1:8080"},
        ProxyList{"HttpsEntryAfterAGeneralOne", u"p1:8080;https=p2:3128", "http://p2:3128"},
        ProxyList{"TlsProxyNotHandedOn", u"https://proxy:443", std::nullopt},
        ProxyList{"SocksSchemeNotHandedOn", u"socks5://proxy:1080", std::nullopt},
        ProxyList{"Empty", u"", std::nullopt}, ProxyList{"OnlySeparators", u" ; ;", std::nullopt},
        ProxyList{"PortZero", u"proxy:0", std::nullopt}, ProxyList{"PortTooLarge", u"proxy:65536", std::nullopt},
        ProxyList{"PortNotANumber", u"proxy:80a", std::nullopt}, ProxyList{"EmptyPort", u"proxy:", std::nullopt},
        ProxyList{"EmptyHost", u":8080", std::nullopt}, ProxyList{"UserInfo", u"user:pw@proxy:8080", std::nullopt},
        ProxyList{"QuoteOrPercent", u"pro\"xy:8080", std::nullopt}, ProxyList{"NonAscii", u"代理:8080", std::nullopt},
        ProxyList{"EmptyHttpsValue", u"https=", std::nullopt}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

struct Bypass {
  const char* name;
  std::u16string list;
  std::string host;
  bool bypassed;
};

class ProxyBypass : public ::testing::TestWithParam<Bypass> {};

TEST_P(ProxyBypass, MatchesTheHost) {
  EXPECT_EQ(proxy_bypassed(GetParam().list, GetParam().host), GetParam().bypassed);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ProxyBypass,
    ::testing::Values(Bypass{"Exact", u"dl.vant.example", "dl.vant.example", true},
                      Bypass{"ExactOtherCase", u"DL.Vant.Example", "dl.vant.example", true},
                      Bypass{"Other", u"intranet.corp", "dl.vant.example", false},
                      Bypass{"SuffixWildcard", u"*.vant.example", "dl.vant.example", true},
                      Bypass{"SuffixWildcardNotTheDomain", u"*.vant.example", "vant.example", false},
                      Bypass{"PrefixWildcard", u"dl.*", "dl.vant.example", true},
                      Bypass{"MiddleWildcard", u"dl.*.example", "dl.vant.example", true},
                      Bypass{"Star", u"*", "dl.vant.example", true}, Bypass{"IpWildcard", u"10.*", "10.1.2.3", true},
                      Bypass{"IpWildcardOther", u"10.*", "110.1.2.3", false},
                      Bypass{"LocalTakesDotless", u"<local>", "localhost", true},
                      Bypass{"LocalNotADottedName", u"<local>", "dl.vant.example", false},
                      Bypass{"LocalCase", u"<LOCAL>", "intranet", true},
                      Bypass{"AmongOthers", u"*.corp;<local>;dl.vant.example", "dl.vant.example", true},
                      Bypass{"CommasAndSpaces", u"a.corp, dl.vant.example", "dl.vant.example", true},
                      Bypass{"SchemeAndPort", u"https://dl.vant.example:443", "dl.vant.example", true},
                      Bypass{"PortWildcard", u"dl.vant.example:*", "dl.vant.example", true},
                      Bypass{"LongerName", u"vant.example", "dl.vant.example", false},
                      Bypass{"ShorterName", u"dl.vant.example.cn", "dl.vant.example", false},
                      Bypass{"Empty", u"", "dl.vant.example", false},
                      Bypass{"OnlySeparators", u";;, ", "dl.vant.example", false}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(HostName, LeavesThePortOut) {
  EXPECT_EQ(host_name("dl.vant.example"), "dl.vant.example");
  EXPECT_EQ(host_name("localhost:8443"), "localhost");
  EXPECT_EQ(host_name("[::1]:8443"), "[::1]");
  EXPECT_EQ(host_name("[::1]"), "[::1]");
}

}  // namespace
}  // namespace vant
