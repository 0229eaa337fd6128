#!/usr/bin/env bash
# Installs everything the project needs on Debian 12, as root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends \
  build-essential cmake ninja-build pkg-config git ca-certificates \
  qt6-base-dev libxcb1-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libssl-dev libpcre3-dev zlib1g-dev libicu-dev \
  clang libclang-rt-14-dev \
  python3 netbase openssl \
  dante-server microsocks dovecot-pop3d \
  xvfb xauth x11-apps python3-aiosmtpd opensmtpd \
  xdotool python3-pil openbox x11-utils \
  wbritish codespell \
  wbritish-large wamerican-large hunspell-en-gb \
  wbritish-small wordnet-base \
  qt6-webengine-dev poppler-utils \
  libespeak-ng-dev \
  zip unzip 7zip libarchive-tools \
  pngcheck python3-png \
  libpng-dev \
  mythes-en-us \
  libcrypto++-utils \
  bind9 bind9-dnsutils \
  python3-pyftpdlib proftpd-basic proftpd-mod-crypto curl libwrap0 libnsl2 \
  unicode-data fonts-noto-color-emoji \
  libhunspell-dev

# vsftpd and proftpd exclude each other as packages (both are the system's
# "ftp-server"); the FTP tests run both, so vsftpd is unpacked beside the
# system instead of installed (tests/servers/ftp.sh finds it there).
peers=/opt/pelliwox-peers
if [ ! -x "$peers/vsftpd/usr/sbin/vsftpd" ]; then
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get download -q vsftpd)
  rm -rf "$peers/vsftpd"
  mkdir -p "$peers/vsftpd"
  dpkg-deb -x "$tmp"/vsftpd_*.deb "$peers/vsftpd"
  rm -rf "$tmp"
fi
[ -f /etc/pam.d/vsftpd ] || cp "$peers/vsftpd/etc/pam.d/vsftpd" /etc/pam.d/vsftpd
