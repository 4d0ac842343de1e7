# How the shipped Windows exe is built: its resources (manifest, version
# information, icon), the settings that keep it small, and those that make
# two builds of one commit byte-identical. Included for Windows builds only.
# docs/release.md explains each choice and what it saves.

enable_language(RC)

# ---- Vendor settings ---------------------------------------------------------

# The level the manifest requests. The download tool and the installer are
# started with CreateProcessW, which cannot show a UAC prompt: an installer
# that needs administrator rights would fail with error 740. With
# highestAvailable an administrator confirms one prompt when starting the
# bootstrapper and everything after runs elevated; a standard user gets no
# prompt. Any requested level also stops Windows from guessing from the
# name "setup" that the exe is an installer.
set(VANT_EXECUTION_LEVEL "highestAvailable" CACHE STRING
    "requestedExecutionLevel of the manifest: asInvoker, highestAvailable or requireAdministrator")
set(vant_execution_levels asInvoker highestAvailable requireAdministrator)
set_property(CACHE VANT_EXECUTION_LEVEL PROPERTY STRINGS ${vant_execution_levels})
if(NOT VANT_EXECUTION_LEVEL IN_LIST vant_execution_levels)
  message(FATAL_ERROR "VANT_EXECUTION_LEVEL '${VANT_EXECUTION_LEVEL}' is not one of: ${vant_execution_levels}")
endif()

set(VANT_COMPANY_NAME "VANT" CACHE STRING "CompanyName of the exe's version information")
set(VANT_LEGAL_COPYRIGHT "Copyright © VANT" CACHE STRING "LegalCopyright of the exe's version information")
set(VANT_INTERNAL_NAME "vant-setup" CACHE STRING "InternalName of the exe's version information")
# The values go into string literals of the resource script: quotes,
# backslashes and line breaks would change its meaning, so they are refused
# rather than escaped.
foreach(name VANT_COMPANY_NAME VANT_LEGAL_COPYRIGHT VANT_INTERNAL_NAME)
  if("${${name}}" STREQUAL "" OR "${${name}}" MATCHES "[\"\\\\\n\r\t]")
    message(FATAL_ERROR "${name} must be non-empty text without quotes, backslashes or line breaks")
  endif()
endforeach()

# ---- Reproducibility -----------------------------------------------------------

# No build folder may end up in an output: __FILE__ and any debug paths are
# written relative to the source and build folders.
add_compile_options(
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
  -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)

# ---- Size -------------------------------------------------------------------------

# The exe starts at its own entry point (src/main.cpp), without the C
# run-time's start-up code, which brings in command-line parsing, TLS
# support, pseudo-relocation and floating-point setup the program never
# uses.
option(VANT_OWN_ENTRY "Start the Windows exe at its own entry point instead of the C run-time's" ON)

# Compile settings of the code that ships in the exe. Test programs that link
# the same libraries keep exceptions and RTTI: the settings are private.
function(vant_shipped_code target)
  target_compile_options(${target} PRIVATE
    -fno-exceptions -fno-rtti
    -ffunction-sections -fdata-sections
    # GCC 12's -Oz: -Os that also picks smaller, slower instruction
    # sequences; nothing here is speed-critical.
    $<$<CONFIG:MinSizeRel>:-Oz>)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit Windows never reads DWARF unwind tables; without exceptions
    # nothing else does either. (64-bit Windows needs its unwind data.)
    target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables)
  endif()
endfunction()

# The exe itself: the run-time replacements, the resources and the link.
function(vant_shipped_exe target)
  vant_shipped_code(${target})

  math(EXPR vant_tweak "${PROJECT_VERSION_TWEAK} + 0")
  set(VANT_VERSION_COMMAS
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${vant_tweak}")
  set(VANT_ICON_FILE ${PROJECT_SOURCE_DIR}/res/vant-setup.ico)
  set(VANT_MANIFEST_FILE ${PROJECT_BINARY_DIR}/res/vant-setup.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/res/vant-setup.manifest.in ${VANT_MANIFEST_FILE} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/res/vant-setup.rc.in ${PROJECT_BINARY_DIR}/res/vant-setup.rc @ONLY)
  target_sources(${target} PRIVATE
    ${PROJECT_SOURCE_DIR}/src/platform/runtime_windows.cpp
    ${PROJECT_BINARY_DIR}/res/vant-setup.rc)
  set_property(SOURCE ${PROJECT_BINARY_DIR}/res/vant-setup.rc APPEND PROPERTY
               OBJECT_DEPENDS ${VANT_ICON_FILE} ${VANT_MANIFEST_FILE})

  target_link_options(${target} PRIVATE
    -static                       # only DLLs every Windows has: kernel32, ntdll, msvcrt, advapi32
    -s                            # no symbols
    -Wl,--gc-sections             # drop unused functions and data
    -Wl,--tsaware                 # no Terminal Server compatibility shims (as MSVC's default)
    -Wl,--no-insert-timestamp)    # a link time in the header would differ per build
  if(VANT_OWN_ENTRY)
    target_compile_definitions(${target} PRIVATE VANT_OWN_ENTRY)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(entry _vant_entry)     # 32-bit C names carry a leading underscore
    else()
      set(entry vant_entry)
    endif()
    # Without the start-up code nothing applies pseudo-relocations, so a
    # data import from a DLL without dllimport must fail the link.
    target_link_options(${target} PRIVATE -nostartfiles -Wl,-e,${entry} -Wl,--disable-auto-import)
  endif()
endfunction()
