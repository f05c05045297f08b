#!/usr/bin/env bash
# Release step: signs the setup program with Authenticode (SHA-256) using
# osslsigncode, from the certificate and key the release engineer supplies,
# and checks the signature it made.
#
#   tools/sign-release.sh -c CERT -k KEY [-p PASSWORD_FILE] [-C CA_FILE]
#                         [-t URL | -ts URL] IN.exe OUT.exe
#
#   -c CERT   signing certificate (PEM or DER), with its chain if there is one
#   -k KEY    its private key (PEM or DER)
#   -p FILE   file holding the key's password, if the key is encrypted
#   -C FILE   trusted root certificates for the check afterwards (default: the
#             system's; a throwaway self-signed certificate names itself here)
#   -t URL    time-stamp server (Authenticode protocol); -ts URL: RFC 3161.
#             Optional, needs network: with a time stamp the signature stays
#             valid after the certificate expires.
#
# IN is not changed; OUT is written only when signing and the check succeed.
set -euo pipefail

usage() { sed -n '5,16p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

cert="" key="" passfile="" cafile="/etc/ssl/certs/ca-certificates.crt" stamp=()
while [ $# -gt 0 ]; do
  case "$1" in
    -c) cert="$2"; shift 2 ;;
    -k) key="$2"; shift 2 ;;
    -p) passfile="$2"; shift 2 ;;
    -C) cafile="$2"; shift 2 ;;
    -t|-ts) stamp=("$1" "$2"); shift 2 ;;
    -h|--help) usage ;;
    -*) echo "sign-release: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] && [ -n "$cert" ] && [ -n "$key" ] || usage
in="$1" out="$2"

pass=()
[ -z "$passfile" ] || pass=(-readpass "$passfile")

# Written beside OUT first, so that a failed step never leaves a half-signed OUT.
temp="$out.signing"
trap 'rm -f "$temp"' EXIT
rm -f "$temp"
osslsigncode sign -certs "$cert" -key "$key" "${pass[@]}" -h sha256 \
  -n "Tavro Development Kit 1.7.0 Setup" "${stamp[@]}" -in "$in" -out "$temp" >/dev/null
osslsigncode verify -CAfile "$cafile" -in "$temp" >/dev/null
mv "$temp" "$out"
echo "sign-release: signed $out (SHA-256)"
