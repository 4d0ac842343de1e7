// The shipped exe's resources as Windows itself reads them: the version
// information Explorer shows, the manifest the loader applies, and the icon.
//
//   packaging_resources_test EXE MANIFEST ICON
//
// EXE is the built vant-setup.exe, MANIFEST the manifest file the build
// embedded, ICON the committed .ico file.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::wstring g_exe;
std::string g_manifest_file;
std::string g_icon_file;

std::wstring widen(const char* utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length > 0 ? length - 1 : 0), L'\0');
  if (length > 1) MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, text.data(), length);
  return text;
}

std::wstring widen(const char16_t* text) { return std::wstring(reinterpret_cast<const wchar_t*>(text)); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The exe's resources, loaded as data: nothing of it runs.
class ExeResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(g_exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "LoadLibraryExW failed with " << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  // The bytes of one resource, or an empty string.
  std::string resource(LPCWSTR type, LPCWSTR name) const {
    HRSRC found = FindResourceW(module_, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module_, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return {};
    return std::string(static_cast<const char*>(data), SizeofResource(module_, found));
  }

  // The names of one type's resources, in the order Windows enumerates
  // them. Named (string) resources are recorded as 0: ours are numbered.
  std::vector<ULONG_PTR> names(LPCWSTR type) const {
    std::vector<ULONG_PTR> found;
    EnumResourceNamesW(module_, type, collect_name, reinterpret_cast<LONG_PTR>(&found));
    return found;
  }
  static BOOL CALLBACK collect_name(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(list)->push_back(IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name)
                                                                                    : 0);
    return TRUE;
  }

  HMODULE module_ = nullptr;
};

// ---- Version information ------------------------------------------------------

class VersionInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(g_exe.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "GetFileVersionInfoSizeW failed with " << GetLastError();
    block_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(g_exe.c_str(), 0, size, block_.data()));
  }

  std::wstring string_value(const std::wstring& name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\080404B0\\" + name;
    if (!VerQueryValueW(block_.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr) {
      return L"<missing>";
    }
    // The length counts the terminating NUL.
    return std::wstring(value, length > 0 ? length - 1 : 0);
  }

  std::vector<unsigned char> block_;
};

TEST_F(VersionInfo, TranslationIsSimplifiedChineseUnicode) {
  struct Translation {
    WORD language;
    WORD code_page;
  }* translations = nullptr;
  UINT length = 0;
  ASSERT_TRUE(
      VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length));
  ASSERT_EQ(length, sizeof(Translation));
  EXPECT_EQ(translations[0].language, 0x0804);
  EXPECT_EQ(translations[0].code_page, 1200);
}

TEST_F(VersionInfo, StringsAsExplorerShowsThem) {
  const std::wstring version = widen(VANT_EXPECTED_VERSION);
  const struct {
    const wchar_t* name;
    std::wstring expected;
  } cases[] = {
      {L"FileDescription", widen(u"VANT 进销存 安装程序")},
      {L"ProductName", widen(u"VANT 进销存")},
      {L"OriginalFilename", L"vant-setup.exe"},
      {L"InternalName", widen(VANT_EXPECTED_INTERNAL_NAME)},
      {L"CompanyName", widen(VANT_EXPECTED_COMPANY_NAME)},
      {L"LegalCopyright", widen(VANT_EXPECTED_LEGAL_COPYRIGHT)},
      {L"FileVersion", version},
      {L"ProductVersion", version},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(string_value(c.name), c.expected) << "value " << std::string(c.name, c.name + wcslen(c.name));
  }
}

TEST_F(VersionInfo, FixedPartCarriesTheProjectVersion) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  const DWORD high = (VANT_EXPECTED_VERSION_MAJOR << 16) | VANT_EXPECTED_VERSION_MINOR;
  const DWORD low = (VANT_EXPECTED_VERSION_PATCH << 16) | VANT_EXPECTED_VERSION_TWEAK;
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug, pre-release or patched flags";
}

// ---- Manifest -----------------------------------------------------------------------

TEST_F(ExeResources, ManifestIsTheOneBuiltAndTheOnlyOne) {
  EXPECT_EQ(names(RT_MANIFEST), std::vector<ULONG_PTR>{1})
      << "exactly one manifest, with the id Windows reads when it creates the process";
  const std::string embedded = resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
  const std::string built = read_file(g_manifest_file);
  ASSERT_FALSE(built.empty()) << g_manifest_file;
  EXPECT_EQ(embedded, built);

  const std::string level = std::string("<requestedExecutionLevel level=\"") + VANT_EXPECTED_EXECUTION_LEVEL + "\"";
  EXPECT_NE(embedded.find(level), std::string::npos) << level;
  EXPECT_NE(embedded.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"), std::string::npos);
  EXPECT_NE(embedded.find(">true</longPathAware>"), std::string::npos);
  EXPECT_EQ(embedded.find("activeCodePage"), std::string::npos) << "the console code depends on the real code page";
}

// The loader's own reading of the manifest: the activation context built
// from it reports the requested level and the declared Windows versions.
class ActivationContext : public ::testing::Test {
 protected:
  void SetUp() override {
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = g_exe.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(1);
    context_ = CreateActCtxW(&request);
    ASSERT_NE(context_, INVALID_HANDLE_VALUE) << "CreateActCtxW failed with " << GetLastError();
  }
  void TearDown() override {
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
  }
  HANDLE context_ = INVALID_HANDLE_VALUE;
};

TEST_F(ActivationContext, ReportsTheRequestedExecutionLevel) {
  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION info{};
  SIZE_T needed = 0;
  ASSERT_TRUE(QueryActCtxW(0, context_, nullptr, RunlevelInformationInActivationContext, &info, sizeof info, &needed))
      << GetLastError();
  EXPECT_EQ(info.RunLevel, static_cast<ACTCTX_REQUESTED_RUN_LEVEL>(VANT_EXPECTED_RUN_LEVEL));
  EXPECT_FALSE(info.UiAccess);
}

TEST_F(ActivationContext, DeclaresWindows10And11) {
  alignas(8) unsigned char buffer[1024] = {};
  SIZE_T needed = 0;
  ASSERT_TRUE(
      QueryActCtxW(0, context_, nullptr, CompatibilityInformationInActivationContext, buffer, sizeof buffer, &needed))
      << GetLastError();
  // The element count, then the elements. Since Windows 10 1903 (and in
  // Wine) each element also carries a MaxVersionTested (8-byte aligned, 32
  // bytes); before it, 20 bytes. The returned size tells which.
  DWORD count = 0;
  std::memcpy(&count, buffer, sizeof count);
  std::size_t first = 0;
  std::size_t stride = 0;
  if (needed == 8 + count * 32) {
    first = 8;
    stride = 32;
  } else if (needed == 4 + count * 20) {
    first = 4;
    stride = 20;
  }
  ASSERT_NE(stride, 0u) << "unknown layout: " << needed << " bytes for " << count << " elements";
  const GUID windows10 = {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}};
  int os_elements = 0;
  bool windows10_found = false;
  for (DWORD i = 0; i < count; ++i) {
    GUID id;
    DWORD type = 0;
    std::memcpy(&id, buffer + first + i * stride, sizeof id);
    std::memcpy(&type, buffer + first + i * stride + sizeof id, sizeof type);
    if (type != ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS) continue;
    ++os_elements;
    windows10_found = windows10_found || std::memcmp(&id, &windows10, sizeof id) == 0;
  }
  EXPECT_EQ(os_elements, 1);
  EXPECT_TRUE(windows10_found);
}

// ---- Icon -------------------------------------------------------------------------------

#pragma pack(push, 2)
struct IconDirectory {
  WORD reserved;
  WORD type;
  WORD count;
};
struct GroupIconEntry {  // in an RT_GROUP_ICON resource
  BYTE width;
  BYTE height;
  BYTE colours;
  BYTE reserved;
  WORD planes;
  WORD bits;
  DWORD bytes;
  WORD id;
};
struct FileIconEntry {  // in an .ico file
  BYTE width;
  BYTE height;
  BYTE colours;
  BYTE reserved;
  WORD planes;
  WORD bits;
  DWORD bytes;
  DWORD offset;
};
#pragma pack(pop)

TEST_F(ExeResources, FirstIconGroupIsTheCommittedIcon) {
  // Explorer shows the first group in resource order.
  const std::vector<ULONG_PTR> groups = names(RT_GROUP_ICON);
  ASSERT_EQ(groups, std::vector<ULONG_PTR>{1});

  const std::string group = resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
  const std::string file = read_file(g_icon_file);
  ASSERT_GE(group.size(), sizeof(IconDirectory));
  ASSERT_GE(file.size(), sizeof(IconDirectory)) << g_icon_file;
  IconDirectory group_header;
  IconDirectory file_header;
  std::memcpy(&group_header, group.data(), sizeof group_header);
  std::memcpy(&file_header, file.data(), sizeof file_header);
  EXPECT_EQ(group_header.type, 1);
  ASSERT_EQ(group_header.count, file_header.count);
  ASSERT_EQ(group.size(), sizeof(IconDirectory) + group_header.count * sizeof(GroupIconEntry));

  std::vector<int> sizes;
  for (WORD i = 0; i < group_header.count; ++i) {
    GroupIconEntry entry;
    FileIconEntry file_entry;
    std::memcpy(&entry, group.data() + sizeof(IconDirectory) + i * sizeof entry, sizeof entry);
    std::memcpy(&file_entry, file.data() + sizeof(IconDirectory) + i * sizeof file_entry, sizeof file_entry);
    sizes.push_back(entry.width == 0 ? 256 : entry.width);
    EXPECT_EQ(entry.bits, 32);
    const std::string image = resource(RT_ICON, MAKEINTRESOURCEW(entry.id));
    ASSERT_EQ(image.size(), entry.bytes);
    EXPECT_EQ(image, file.substr(file_entry.offset, file_entry.bytes)) << "frame " << i;
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 256}));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s EXE MANIFEST ICON\n", argv[0]);
    return 2;
  }
  g_exe = widen(argv[1]);
  g_manifest_file = argv[2];
  g_icon_file = argv[3];
  return RUN_ALL_TESTS();
}
