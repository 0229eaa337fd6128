#!/usr/bin/env bash
# Installs everything the project needs on Debian 12, as root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends \
  build-essential cmake ninja-build pkg-config git ca-certificates \
  qt6-base-dev libxcb1-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libssl-dev libpcre3-dev zlib1g-dev \
  clang libclang-rt-14-dev \
  python3 netbase openssl \
  dante-server microsocks dovecot-pop3d \
  xvfb xauth x11-apps python3-aiosmtpd opensmtpd \
  xdotool python3-pil openbox x11-utils \
  wbritish codespell \
  qt6-webengine-dev poppler-utils \
  libespeak-ng-dev \
  zip unzip 7zip \
  pngcheck python3-png \
  libpng-dev \
  mythes-en-us \
  libcrypto++-utils \
  bind9 bind9-dnsutils \
  python3-pyftpdlib vsftpd curl \
  unicode-data fonts-noto-color-emoji \
  libhunspell-dev
