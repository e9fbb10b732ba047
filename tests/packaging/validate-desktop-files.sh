#!/bin/sh
# Validates the desktop entry and the AppStream metadata; exit status 77
# (reported as skipped) when a validator is not installed.
# Usage: validate-desktop-files.sh DESKTOP_FILE METAINFO_FILE
set -u
missing=""
command -v desktop-file-validate >/dev/null || missing="$missing desktop-file-validate (desktop-file-utils)"
command -v appstreamcli >/dev/null || missing="$missing appstreamcli (appstream)"
if [ -n "$missing" ]; then
  echo "SKIPPED: not installed:$missing"
  exit 77
fi
status=0
desktop-file-validate "$1" || status=1
appstreamcli validate --no-net "$2" || status=1
exit $status
