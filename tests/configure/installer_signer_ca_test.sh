#!/usr/bin/env bash
# VANT_INSTALLER_SIGNER_CA as the configure step takes it: the forms it
# accepts (openssl's, with ':' and in any case; several, ';' between),
# printed as the build compiles them in; a malformed list, and the option
# without VANT_INSTALLER_SIGNER, stop the configure step with a message
# naming the option. Configures the host build without tests (nothing is
# built).
#   installer_signer_ca_test.sh SOURCE_DIR
set -uo pipefail
root=$1
# shellcheck source=../common/shell_cases.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/shell_cases.sh"

# configure SIGNER CA: the configure step's status and output.
configure() {
  output=$(cmake -S "$root" -B "$scratch/build" -G Ninja -DVANT_BUILD_TESTS=OFF "-DVANT_INSTALLER_SIGNER=$1" \
    "-DVANT_INSTALLER_SIGNER_CA=$2" 2>&1)
  status=$?
}

# accepts SIGNER CA SHOWN: configured, with SHOWN as the pinned authorities.
accepts() {
  configure "$1" "$2"
  local line="-- Installer signer: \"$1\"; certificate authorities: $3"
  if [[ $status -ne 0 || $output != *"$line"* ]]; then
    fail "[$1] [$2] should configure with '$line'; got status $status:
$output"
  fi
}

refuses() {
  configure "$1" "$2"
  if [[ $status -eq 0 || $output != *"VANT_INSTALLER_SIGNER_CA"* ]]; then
    fail "[$1] [$2] should be refused naming VANT_INSTALLER_SIGNER_CA; got status $status:
$output"
  fi
}

upper=423A1131D9136C874CBAE4089FAC543EA671E5AAD93B926B0B746B4DBC3B414C
lower=${upper,,}
colons=$(sed 's/\(..\)/\1:/g; s/:$//' <<<"$upper")
other=FED845B55A9BFAE006B92D3C045F6A6461C7958E5630030CCEE3E3ED69870D86

# Accepted: openssl's form, lower case, without ':', several.
accepts "VANT 软件有限公司" "$colons" "$upper"
accepts "VANT 软件有限公司" "${colons,,}" "$upper"
accepts "VANT 软件有限公司" "$lower" "$upper"
accepts "VANT 软件有限公司" "$colons;${other,,}" "$upper, $other"
accepts "VANT 软件有限公司" "" "any that Windows trusts"

# Refused: the option without a signer.
refuses "" "$upper"
# Refused: not 64 hex digits, other characters, ':' not between two digits,
# an empty fingerprint, another separator.
refuses "VANT" "${upper:1}"
refuses "VANT" "${upper}0"
refuses "VANT" "${upper:1}G"
refuses "VANT" ":$colons"
refuses "VANT" "$colons:"
refuses "VANT" "${colons/:/::}"
refuses "VANT" "${upper:0:32} ${upper:32}"
refuses "VANT" "$upper;"
refuses "VANT" ";$upper"
refuses "VANT" "$upper;;$other"
refuses "VANT" "$upper,$other"

report_cases VANT_INSTALLER_SIGNER_CA
