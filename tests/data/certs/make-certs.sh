#!/bin/sh
# Makes the certificates the TLS tests use, into the folder given as $1:
#   ca.pem / ca.key            the test authority
#   server.pem / server.key    localhost and 127.0.0.1 in the alt names
#   server-enc.key             the same key under the pass phrase in passphrase.txt
#   combined.pem               server key then certificate in one file
#   expired.pem                ran out in 2001
#   wronghost.pem              for wrong.example.test only
#   wildcard.pem               *.example.test
#   cnonly.pem                 CN localhost but alt name other.example.test
#   pivot.pem                  valid 1950 to 2049 (two-digit years on both ends)
#   revoked.pem, crl.pem       a revoked certificate and the authority's list
#   selfsigned.pem / .key      localhost, signed by itself: trusted by nobody
# Dates are fixed so the files read the same whenever they are made.
set -eu
out=${1:?usage: make-certs.sh OUTDIR}
mkdir -p "$out"
cd "$out"
rm -rf db && mkdir db
: > db/index.txt
echo 1001 > db/serial
echo 01 > db/crlnumber

cat > ca.cnf <<'CNF'
[ ca ]
default_ca = testca
[ testca ]
dir = .
database = ./db/index.txt
new_certs_dir = ./db
serial = ./db/serial
crlnumber = ./db/crlnumber
certificate = ./ca.pem
private_key = ./ca.key
default_md = sha256
default_crl_days = 36500
policy = anything
unique_subject = no
copy_extensions = copy
email_in_dn = no
[ anything ]
countryName = optional
organizationName = optional
commonName = supplied
[ req ]
distinguished_name = dn
prompt = no
[ dn ]
CN = unused
[ ca_ext ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[ leaf_ext ]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth, clientAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

quiet() { "$@" > log.txt 2>&1 || { cat log.txt >&2; exit 1; }; }

quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 36500 \
    -subj "/C=GB/O=Pelliwox Test/CN=Pelliwox Test CA" -config ca.cnf -extensions ca_ext

# leaf NAME SUBJECT SAN START END [KEY]: signs a certificate with the authority.
leaf() {
    name=$1 subj=$2 san=$3 start=$4 end=$5 key=${6:-$1.key}
    [ -f "$key" ] || quiet openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$key"
    quiet openssl req -new -key "$key" -subj "$subj" -addext "subjectAltName = $san" -out "$name.csr" -config ca.cnf
    quiet openssl ca -batch -config ca.cnf -extensions leaf_ext -startdate "$start" -enddate "$end" \
        -in "$name.csr" -out "$name.full" -notext
    openssl x509 -in "$name.full" -out "$name.pem"
    rm -f "$name.csr" "$name.full"
}

leaf server "/C=GB/O=Pelliwox Test/CN=localhost" "DNS:localhost, IP:127.0.0.1, DNS:mail.example.test" \
    20200101000000Z 20991231235959Z
leaf expired "/O=Pelliwox Test/CN=localhost" "DNS:localhost, IP:127.0.0.1" \
    20000101000000Z 20010101000000Z server.key
leaf wronghost "/O=Pelliwox Test/CN=wrong.example.test" "DNS:wrong.example.test" \
    20200101000000Z 20991231235959Z server.key
leaf wildcard "/O=Pelliwox Test/CN=*.example.test" "DNS:*.example.test" \
    20200101000000Z 20991231235959Z server.key
leaf cnonly "/O=Pelliwox Test/CN=localhost" "DNS:other.example.test" \
    20200101000000Z 20991231235959Z server.key
leaf pivot "/O=Pelliwox Test/CN=pivot.example.test" "DNS:pivot.example.test" \
    500101000000Z 491231235959Z server.key
leaf revoked "/O=Pelliwox Test/CN=revoked.example.test" "DNS:revoked.example.test" \
    20200101000000Z 20991231235959Z server.key

quiet openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out selfsigned.key
quiet openssl req -new -key selfsigned.key -subj "/O=Pelliwox Test/CN=localhost" \
    -addext "subjectAltName = DNS:localhost, IP:127.0.0.1" -out selfsigned.csr -config ca.cnf
quiet openssl ca -batch -config ca.cnf -selfsign -keyfile selfsigned.key -extensions leaf_ext \
    -startdate 20200101000000Z -enddate 20991231235959Z -in selfsigned.csr -out selfsigned.full -notext
openssl x509 -in selfsigned.full -out selfsigned.pem
rm -f selfsigned.csr selfsigned.full

echo "Correct horse 42" > passphrase.txt
quiet openssl pkey -in server.key -aes256 -passout file:passphrase.txt -out server-enc.key
cat server.key server.pem > combined.pem

quiet openssl ca -batch -config ca.cnf -revoke revoked.pem
quiet openssl ca -batch -config ca.cnf -gencrl -out crl.pem

rm -f log.txt
touch stamp
