#include "setup/proxy_rules.h"

#include <vector>

namespace vant {
namespace {

bool is_separator(char16_t c, bool comma) {
  return c == u';' || c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || (comma && c == u',');
}

std::vector<std::u16string_view> split(std::u16string_view list, bool comma) {
  std::vector<std::u16string_view> entries;
  std::size_t at = 0;
  while (at < list.size()) {
    while (at < list.size() && is_separator(list[at], comma)) ++at;
    std::size_t end = at;
    while (end < list.size() && !is_separator(list[end], comma)) ++end;
    if (end > at) entries.push_back(list.substr(at, end - at));
    at = end;
  }
  return entries;
}

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool same_no_case(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool starts_with_no_case(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && same_no_case(text.substr(0, prefix.size()), prefix);
}

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool is_host_unit(char16_t c) {
  return is_digit(c) || (lower(c) >= u'a' && lower(c) <= u'z') || c == u'-' || c == u'.' || c == u'_';
}

// "host[:port]" made "http://host:port"; nothing for anything else.
std::optional<std::string> http_proxy_address(std::u16string_view proxy) {
  if (starts_with_no_case(proxy, u"http://")) proxy.remove_prefix(7);
  if (!proxy.empty() && proxy.back() == u'/') proxy.remove_suffix(1);
  std::u16string_view host = proxy;
  std::u16string_view port = u"80";
  const std::size_t colon = proxy.rfind(u':');
  const std::size_t bracket = proxy.rfind(u']');
  if (colon != std::u16string_view::npos && (bracket == std::u16string_view::npos || colon > bracket)) {
    host = proxy.substr(0, colon);
    port = proxy.substr(colon + 1);
  }
  if (port.empty() || port.size() > 5) return std::nullopt;
  unsigned number = 0;
  for (const char16_t c : port) {
    if (!is_digit(c)) return std::nullopt;
    number = number * 10 + (c - u'0');
  }
  if (number == 0 || number > 65535) return std::nullopt;
  if (host.empty()) return std::nullopt;
  const bool bracketed = host.front() == u'[' && host.back() == u']' && host.size() > 2;
  const std::u16string_view inner = bracketed ? host.substr(1, host.size() - 2) : host;
  for (const char16_t c : inner) {
    if (!is_host_unit(c) && !(bracketed && c == u':')) return std::nullopt;
  }
  std::string address = "http://";
  for (const char16_t c : host) address.push_back(static_cast<char>(c));
  address.push_back(':');
  for (const char16_t c : port) address.push_back(static_cast<char>(c));
  return address;
}

// `pattern` with '*' for any run of units, against all of `text`.
bool wildcard_match(std::u16string_view pattern, std::u16string_view text) {
  std::size_t p = 0, t = 0, star = std::u16string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && lower(pattern[p]) == lower(text[t])) {
      ++p;
      ++t;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

std::optional<std::string> https_proxy_from(std::u16string_view proxy_list) {
  std::optional<std::u16string_view> for_every_scheme;
  for (const std::u16string_view entry : split(proxy_list, false)) {
    const std::size_t equals = entry.find(u'=');
    if (equals == std::u16string_view::npos) {
      if (!for_every_scheme) for_every_scheme = entry;
    } else if (same_no_case(entry.substr(0, equals), u"https")) {
      return http_proxy_address(entry.substr(equals + 1));
    }
  }
  if (!for_every_scheme) return std::nullopt;
  return http_proxy_address(*for_every_scheme);
}

bool proxy_bypassed(std::u16string_view bypass_list, std::string_view host) {
  const std::u16string name(host.begin(), host.end());
  for (std::u16string_view entry : split(bypass_list, true)) {
    if (same_no_case(entry, u"<local>")) {
      if (name.find(u'.') == std::u16string::npos && name.find(u':') == std::u16string::npos) return true;
      continue;
    }
    if (const std::size_t scheme = entry.find(u"://"); scheme != std::u16string_view::npos) {
      entry.remove_prefix(scheme + 3);
    }
    // A port after the name (not the colons of a bare IPv6 address).
    if (const std::size_t colon = entry.rfind(u':');
        colon != std::u16string_view::npos && entry.find(u':') == colon && colon + 1 < entry.size()) {
      bool digits = true;
      for (const char16_t c : entry.substr(colon + 1)) digits = digits && (is_digit(c) || c == u'*');
      if (digits) entry = entry.substr(0, colon);
    }
    if (!entry.empty() && wildcard_match(entry, name)) return true;
  }
  return false;
}

std::string_view host_name(std::string_view authority) {
  if (authority.starts_with('[')) {
    const std::size_t end = authority.find(']');
    return end == std::string_view::npos ? authority : authority.substr(0, end + 1);
  }
  return authority.substr(0, authority.find(':'));
}

}  // namespace vant
