#!/usr/bin/env bash
# Signs the update test programs with two self-made code-signing certificates, as a publisher
# and an impostor would: OUT/{running,next,foreign}-a.exe with the first, OUT/next-b.exe with
# the second, OUT/next-unsigned.exe not at all.
# Usage: sign.sh OUT RUNNING.exe NEXT.exe FOREIGN.exe
set -euo pipefail
out=$1 running=$2 next=$3 foreign=$4
mkdir -p "$out"
for signer in a b; do
    [[ -f $out/signer-$signer.pem ]] && continue
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Torvane test signer $signer" \
        -addext extendedKeyUsage=codeSigning -keyout "$out/signer-$signer.key" \
        -out "$out/signer-$signer.pem" 2>/dev/null
done
sign() {  # sign SIGNER IN OUT
    rm -f "$3"
    osslsigncode sign -certs "$out/signer-$1.pem" -key "$out/signer-$1.key" -h sha256 \
        -n Torvane -in "$2" -out "$3" >/dev/null
}
sign a "$running" "$out/running-a.exe"
sign a "$next" "$out/next-a.exe"
sign b "$next" "$out/next-b.exe"
sign a "$foreign" "$out/foreign-a.exe"
cp "$next" "$out/next-unsigned.exe"
