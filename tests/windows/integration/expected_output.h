// What the bootstrapper prints, written out independently of the program's
// own message table so that a changed byte there shows up here. UTF-8, LF.
#pragma once

#include <string>
#include <string_view>

namespace vant_test::expected {

// The first seven lines of every run: rule, title, rule, empty line, the
// two notice lines, empty line.
inline const std::string kBanner =
    "========================================\n"
    "  VANT 进销存 安装程序\n"
    "========================================\n"
    "\n"
    "正在从服务器获取最新版本，请稍候...\n"
    "（此过程需要网络连接，约需 1-3 分钟）\n"
    "\n";

// After a download that ended with code 0.
inline const std::string kStartingInstaller =
    "\n"
    "下载完成，正在启动安装程序...\n"
    "（安装完成后此窗口将自动关闭）\n"
    "\n";

// The end of every failure, on the output stream.
inline const std::string kPressEnter =
    "\n"
    "按 Enter 键退出...\n";

// The whole output stream of a successful run: exactly eleven lines.
inline const std::string kSuccessOutput = kBanner + kStartingInstaller;

inline const std::string kCannotRunToolPrefix = "无法运行下载工具：";
inline const std::string kNeedsWindows10 = "请确保系统为 Windows 10 或更高版本。\n";
inline const std::string kCannotStartInstallerPrefix = "无法启动安装程序：";
inline const std::string kRunByHand = "请手动运行该文件完成安装。\n";

inline std::string cannot_run_tool(std::string_view error_text) {
  return kCannotRunToolPrefix + std::string(error_text) + "\n" + kNeedsWindows10;
}

// The download tool's exit code, in signed decimal, then the advice line.
inline std::string download_failed(std::string_view signed_code) {
  return "下载失败（错误码 " + std::string(signed_code) + "）\n" + "请检查网络连接后重试，或联系客服获取安装包。\n";
}

inline std::string downloaded_to(std::string_view path_text) {
  return "安装包已下载到：" + std::string(path_text) + "\n";
}

// curl's argv: its own name and the twenty download arguments of a curl
// whose version is unknown (the stand-in answers -V with nothing unless
// told); the installer path follows "-o" at index 18.
inline constexpr int kCurlArgc = 21;
inline const std::string kCurlArgcText = "21";
inline const std::string kCurlOutputFlag = "arg.18";
inline const std::string kCurlOutputPath = "arg.19";

inline constexpr std::string_view kInstallerName = "vant_installer_latest.exe";
inline const std::string kDownloadAddress = "https://" VANT_DOWNLOAD_HOST "/download/latest";

}  // namespace vant_test::expected
