#!/usr/bin/env bash
# What the release scripts read from Windows exes and their Authenticode
# signatures, with coreutils and openssl alone; sourced by scripts/dist.sh,
# scripts/release-binding.sh and scripts/signer-pins.sh.
#
# pe_identity FILE
#   Sets pe_machine (the COFF header's machine type: 0x8664 for x64, 0x14c
#   for x86) and pe_digest (the SHA-256 Authenticode digest, upper-case hex,
#   as osslsigncode prints it), or returns 1 with pe_error set. The digest
#   is the one a signature of these bytes carries: the file without its
#   checksum field, its certificate table entry and the certificate table
#   itself; a file without a signature is padded with zeros to a multiple of
#   8 bytes first, as signing pads it before it appends the signature. So
#   the digest of an unsigned build equals the one its signature carries.
#
# signature_certificates SIGNATURE.der DIR
#   Writes each certificate the signature (osslsigncode extract-signature)
#   carries to DIR/certificate-N.der, N from 1 in their order, and sets
#   signer_certificate to the file of the one its first signer info names
#   by issuer and serial number, compared as DER bytes: two certificates of
#   different issuers may have the same serial. Returns 1 with pe_error set
#   when the signature does not carry that certificate.

# le_number FILE OFFSET BYTES: an unsigned little-endian number.
le_number() {
  od -An -t "u$3" --endian=little -j "$2" -N "$3" "$1" | tr -d ' '
}

# file_bytes FILE OFFSET COUNT: the bytes to stdout.
file_bytes() {
  dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" bs=64K status=none
}

pe_identity() {
  local file=$1 size pe magic checksum directory table_offset end
  pe_machine="" pe_digest="" pe_error=""
  size=$(stat -c %s "$file") || { pe_error="cannot be read"; return 1; }
  if ((size < 64)) || [[ $(file_bytes "$file" 0 2) != MZ ]]; then
    pe_error="is not a Windows program (no MZ header)"
    return 1
  fi
  pe=$(le_number "$file" 60 4)
  if ((pe + 24 + 96 > size)) || [[ $(file_bytes "$file" "$pe" 4 | od -An -tx1 | tr -d ' \n') != 50450000 ]]; then
    pe_error="is not a Windows program (no PE header)"
    return 1
  fi
  pe_machine=$(printf '0x%x' "$(le_number "$file" $((pe + 4)) 2)")
  # The optional header: the checksum at 64; the data directories at 96
  # (PE32) or 112 (PE32+), of which the fifth is the certificate table.
  magic=$(le_number "$file" $((pe + 24)) 2)
  checksum=$((pe + 24 + 64))
  case $magic in
    267) directory=$((pe + 24 + 96 + 4 * 8)) ;;
    523) directory=$((pe + 24 + 112 + 4 * 8)) ;;
    *)
      pe_error="has an unknown optional header (magic $magic)"
      return 1
      ;;
  esac
  table_offset=$(le_number "$file" "$directory" 4)
  end=$size
  if ((table_offset != 0)); then
    if ((table_offset > size || table_offset < directory + 8)); then
      pe_error="has a certificate table outside the file"
      return 1
    fi
    end=$table_offset
  fi
  pe_digest=$({
    file_bytes "$file" 0 "$checksum"
    file_bytes "$file" $((checksum + 4)) $((directory - checksum - 4))
    file_bytes "$file" $((directory + 8)) $((end - directory - 8))
    if ((table_offset == 0 && size % 8 != 0)); then
      head -c $((8 - size % 8)) /dev/zero
    fi
  } | sha256sum | cut -d' ' -f1)
  pe_digest=${pe_digest^^}
}

signature_certificates() {
  local signature=$1 dir=$2 layout what number offset length wanted
  signer_certificate="" pe_error=""
  # The signed data's certificates are the SEQUENCEs right under its
  # "[0]" at depth 3; each one's issuer is its tbsCertificate's (depth 6)
  # second SEQUENCE and its serial the first INTEGER. Signer infos are under
  # the last SET at depth 3; the first one's issuerAndSerialNumber is its
  # first SEQUENCE at depth 5. Deeper ones (a timestamp's) are not read.
  # Prints: "cert N OFFSET LENGTH", "issuer N OFFSET LENGTH",
  # "serial N OFFSET LENGTH", "signer-issuer ..." and "signer-serial ...".
  layout=$(openssl asn1parse -inform DER -in "$signature" 2>/dev/null | awk '
    match($0, /^ *[0-9]+:d=[0-9]+ +hl= *[0-9]+ +l= *[0-9]+ +(cons|prim): +/) {
      line = $0
      sub(/^ */, "", line)
      offset = line; sub(/:.*/, "", offset)
      depth = line; sub(/^[^=]*=/, "", depth); sub(/ .*/, "", depth)
      header = line; sub(/^.*hl= */, "", header); sub(/ .*/, "", header)
      len = line; sub(/^.* l= */, "", len); sub(/ .*/, "", len)
      kind = substr($0, RLENGTH + 1); sub(/ *:.*$/, "", kind); sub(/ +$/, "", kind)
      total = header + len
      if (depth == 3) { in_certs = (kind == "cont [ 0 ]"); signers = (kind == "SET") ? offset : ""; infos = 0 }
      if (depth == 4 && in_certs && kind == "SEQUENCE") { n++; print "cert", n, offset, total; seqs = 0 }
      if (depth == 6 && in_certs && n > 0) {
        if (kind == "INTEGER" && !serial_seen[n]++) print "serial", n, offset, total
        if (kind == "SEQUENCE" && ++seqs == 2) print "issuer", n, offset, total
      }
      if (depth == 4 && signers != "") { infos++; sid_done = 0; in_sid = 0 }
      if (depth == 5 && infos == 1) {
        in_sid = (!sid_done && kind == "SEQUENCE")
        if (in_sid) { sid_done = 1; parts = 0 }
      }
      if (depth == 6 && in_sid) {
        parts++
        if (parts == 1) print "signer-issuer", 0, offset, total
        if (parts == 2) print "signer-serial", 0, offset, total
      }
    }')
  # The DER bytes of a part, as hex.
  part_hex() { file_bytes "$signature" "$1" "$2" | od -An -tx1 | tr -d ' \n'; }
  wanted=
  while read -r what number offset length; do
    case $what in
      signer-issuer) wanted+="issuer=$(part_hex "$offset" "$length");" ;;
      signer-serial) wanted+="serial=$(part_hex "$offset" "$length");" ;;
    esac
  done <<<"$layout"
  declare -A issuer_of serial_of
  while read -r what number offset length; do
    case $what in
      cert) file_bytes "$signature" "$offset" "$length" >"$dir/certificate-$number.der" ;;
      issuer) issuer_of[$number]=$(part_hex "$offset" "$length") ;;
      serial) serial_of[$number]=$(part_hex "$offset" "$length") ;;
    esac
  done <<<"$layout"
  if [[ $wanted != issuer=*\;serial=*\; ]]; then
    pe_error="its signature names no signer by issuer and serial number"
    return 1
  fi
  for number in "${!issuer_of[@]}"; do
    if [[ "issuer=${issuer_of[$number]};serial=${serial_of[$number]-};" == "$wanted" ]]; then
      signer_certificate=$dir/certificate-$number.der
      return 0
    fi
  done
  pe_error="its signature does not carry the certificate its signer info names"
  return 1
}
