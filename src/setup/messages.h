// Every fixed text the driver prints, byte for byte; what it inserts comes
// from elsewhere (an error's display text, the installer path text, curl's
// exit code). Each message ends in exactly one line feed and no carriage
// return; a message with an inserted value is split around it.
#pragma once

#include <string_view>

#ifndef VANT_DOWNLOAD_HOST
#error "VANT_DOWNLOAD_HOST must be set by the build (the vendor's download host)"
#endif

namespace vant::messages {

inline constexpr std::string_view kProductTitle = "VANT 进销存";
inline constexpr std::string_view kInstallerFileName = "vant_installer_latest.exe";
inline constexpr std::string_view kDownloadTool = "curl";
// The one fixed address of the latest full installer; the host is set when
// the program is built and nothing at run time can change it.
inline constexpr std::string_view kDownloadHost = VANT_DOWNLOAD_HOST;
inline constexpr std::string_view kDownloadAddress = "https://" VANT_DOWNLOAD_HOST "/download/latest";
// The same as UTF-16, the form WinHTTP takes an address in.
inline constexpr std::u16string_view kDownloadAddressUnits = u"https://" VANT_DOWNLOAD_HOST "/download/latest";

// M1: the rule line.
inline constexpr std::string_view kRule = "========================================\n";
// M2: "  " + product title + " 安装程序".
inline constexpr std::string_view kTitleBefore = "  ";
inline constexpr std::string_view kTitleAfter = " 安装程序\n";
// M3: the empty line.
inline constexpr std::string_view kEmptyLine = "\n";
// M4, M5: the notice.
inline constexpr std::string_view kFetching = "正在从服务器获取最新版本，请稍候...\n";
inline constexpr std::string_view kNeedsNetwork = "（此过程需要网络连接，约需 1-3 分钟）\n";
// M6 + error text, M7.
inline constexpr std::string_view kCannotRunTool = "无法运行下载工具：";
inline constexpr std::string_view kNeedsWindows10 = "请确保系统为 Windows 10 或更高版本。\n";
// M8 with the exit code in signed decimal + "）", M9.
inline constexpr std::string_view kDownloadFailedBefore = "下载失败（错误码 ";
inline constexpr std::string_view kDownloadFailedAfter = "）\n";
inline constexpr std::string_view kCheckNetwork = "请检查网络连接后重试，或联系客服获取安装包。\n";
// M10, M11.
inline constexpr std::string_view kDownloadDone = "下载完成，正在启动安装程序...\n";
inline constexpr std::string_view kClosesItself = "（安装完成后此窗口将自动关闭）\n";
// M12 + error text, M13 + installer path text, M14.
inline constexpr std::string_view kCannotStartInstaller = "无法启动安装程序：";
inline constexpr std::string_view kDownloadedTo = "安装包已下载到：";
inline constexpr std::string_view kRunByHand = "请手动运行该文件完成安装。\n";
// M15.
inline constexpr std::string_view kPressEnter = "按 Enter 键退出...\n";
// V1 + the reason the downloaded installer was refused, V2; then M9.
inline constexpr std::string_view kSignatureCheckFailed = "安装包签名校验失败：";
inline constexpr std::string_view kInstallerNotStarted = "为安全起见，安装程序未启动。\n";

#ifdef VANT_INSTALLER_SIGNER
// The vendor's name as its code-signing certificate gives it (the simple
// display name); set when the program is built, in a header the build
// writes and reads first. Only an installer signed by it is started. The
// same text as UTF-16, the form Windows gives names in.
inline constexpr std::string_view kInstallerSigner = VANT_INSTALLER_SIGNER;
inline constexpr std::u16string_view kInstallerSignerUnits = u"" VANT_INSTALLER_SIGNER;
#endif

inline constexpr std::string_view kLineFeed = "\n";

}  // namespace vant::messages
