# Compiler settings of the fuzz build, for every target of the tree:
# everything runs under AddressSanitizer and UndefinedBehaviorSanitizer,
# whose first report ends the run (so that the fuzzer records the input).
# Coverage feedback is given to the program's own code only (fuzz/CMakeLists.txt).
if(VANT_WINDOWS)
  message(FATAL_ERROR "VANT_FUZZ is for the host build")
endif()
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "VANT_FUZZ needs clang (libFuzzer); use the fuzz preset")
endif()

add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)

# Clang before 19 announces __cpp_concepts as 201907, and libstdc++ 12 hides
# <expected> behind 202002 (the conditionally trivial special members, which
# clang has had since 16). Where that is the only obstacle, the macro is set
# to what the compiler actually supports; the fuzz targets then use the same
# standard library as the shipped exe and the host tests.
include(CheckCXXSourceCompiles)
set(vant_expected_probe "#include <expected>
int main() { std::expected<int, int> value(1); return *value - 1; }")
check_cxx_source_compiles("${vant_expected_probe}" VANT_FUZZ_HAS_EXPECTED)
if(NOT VANT_FUZZ_HAS_EXPECTED)
  set(vant_concepts_flags -U__cpp_concepts -D__cpp_concepts=202002L)
  list(JOIN vant_concepts_flags " " CMAKE_REQUIRED_FLAGS)
  check_cxx_source_compiles("${vant_expected_probe}" VANT_FUZZ_HAS_EXPECTED_WITH_CONCEPTS)
  unset(CMAKE_REQUIRED_FLAGS)
  if(NOT VANT_FUZZ_HAS_EXPECTED_WITH_CONCEPTS)
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no usable std::expected")
  endif()
  add_compile_options(${vant_concepts_flags})
endif()
