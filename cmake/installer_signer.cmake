# The certificate authorities of the installer's signer,
# VANT_INSTALLER_SIGNER_CA: the SHA-256 fingerprints of whole DER
# certificates, as `openssl x509 -noout -fingerprint -sha256` prints them
# (scripts/signer-pins.sh prints them for a signed installer). 64 hex digits
# each, ';' between them; case and ':' between the digits do not matter.

# Sets OUT to TEXT's fingerprints in the form the program is built with:
# upper case, without ':'. Stops the configure step if TEXT is not that.
# Example: "ab:cd:...(32 pairs);0123...(64 digits)" -> "ABCD...;0123..."; "" -> "".
function(vant_normalize_ca_fingerprints out text)
  set(malformed FALSE)
  set(normalized "")
  # Every item, empty ones included (first, last or between two ';'),
  # which match nothing below.
  foreach(fingerprint IN LISTS text)
    # Hex digits, with at most one ':' between two of them.
    if(NOT fingerprint MATCHES "^[0-9A-Fa-f](:?[0-9A-Fa-f])*$")
      set(malformed TRUE)
      break()
    endif()
    string(REPLACE ":" "" digits "${fingerprint}")
    string(LENGTH "${digits}" length)
    if(NOT length EQUAL 64)
      set(malformed TRUE)
      break()
    endif()
    string(TOUPPER "${digits}" digits)
    list(APPEND normalized "${digits}")
  endforeach()
  if(malformed)
    message(FATAL_ERROR "VANT_INSTALLER_SIGNER_CA '${text}' is not a list of SHA-256 fingerprints: 64 hex digits "
                        "each (case and ':' between the digits do not matter), ';' between them")
  endif()
  set(${out} "${normalized}" PARENT_SCOPE)
endfunction()
