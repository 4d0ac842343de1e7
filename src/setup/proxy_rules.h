// How a Windows proxy setting applies to the download: the proxy for
// https out of a proxy list, and the bypass list. The texts are those
// Windows keeps (Internet Settings) or a proxy script gave, as WinHTTP
// hands them over.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vant {

// The https proxy of a proxy list, as curl's https_proxy takes it:
// "http://host:port". Entries are separated by ';' or white space; an entry
// "https=host:port" is the one for https, else the first entry without a
// scheme's name applies to every scheme; the others ("http=…", "ftp=…",
// "socks=…") do not apply. A proxy without a port listens on 80; "http://"
// before it is allowed, any other scheme (a SOCKS or TLS proxy) is not
// handed on, nor is anything but a host name, an IPv4 or a bracketed IPv6
// address and a port. Examples:
//   "proxy:8080" -> "http://proxy:8080";
//   "http=a:80;https=b:3128" -> "http://b:3128"; "http=a:80" -> nothing;
//   "10.0.0.1" -> "http://10.0.0.1:80"; "socks=s:1080" -> nothing.
std::optional<std::string> https_proxy_from(std::u16string_view proxy_list);

// Whether the bypass list takes `host` (the download host's name, without
// its port) past the proxy. Entries are separated by ';', ',' or white
// space and compared without regard to ASCII case; "*" in an entry stands
// for any run of characters; a scheme ("https://") and a port (":443")
// around an entry are ignored; "<local>" takes every name without a dot.
// Examples: "*.corp.example" takes "dl.corp.example", not "corp.example";
// "<local>" takes "localhost", not "dl.vant.example".
bool proxy_bypassed(std::u16string_view bypass_list, std::string_view host);

// The host name of an address's authority: "localhost:8443" -> "localhost",
// "[::1]:8443" -> "[::1]", "dl.vant.example" -> "dl.vant.example".
std::string_view host_name(std::string_view authority);

}  // namespace vant
