#!/usr/bin/env bash
# Seeds of deeply nested XML for the workbook harnesses. A parsed part is
# freed level by level, one call a level, so such a part once overflowed the
# stack when a workbook was written back; the reader now refuses a part that
# nests deeper than ooxml::ReadLimits::xmlDepth. Writes
#   DIR/workbook_zip/deep-*.vts  whole packages of a few KiB
#   DIR/workbook_xml/deep-*      parts for fuzz_workbook_xml (about 1.4 MB each)
# Usage: tests/fuzz/deep-nesting-seeds.sh DIR    (scripts/fuzz.sh runs it)
set -euo pipefail
dir=${1:?usage: $0 DIR}
levels=${MWST_DEEP_LEVELS:-200000}
separator=$'\n--part--\n'
main='xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
rel='xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
reltype='http://schemas.openxmlformats.org/officeDocument/2006/relationships'
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$dir/workbook_zip" "$dir/workbook_xml"

nested() {
  printf '%*s' "$levels" '' | sed 's/ /<x>/g'
  printf '%*s' "$levels" '' | sed 's/ /<\/x>/g'
}
nested >"$tmp/nested"

sheet() { printf '<worksheet %s><sheetData><row r="1">%s</row></sheetData></worksheet>' "$main" "$1"; }
workbook() {
  printf '<workbook %s %s><sheets><sheet name="Tabelle1" sheetId="1" r:id="rId1"/></sheets>%s</workbook>' \
    "$main" "$rel" "$1"
}
content_types() {
  printf '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
  printf '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
  printf '<Default Extension="xml" ContentType="application/xml"/>%s</Types>' "$1"
}

# package NAME: the parts in $tmp/NAME/ (with the plain ones added) as DIR/workbook_zip/NAME.vts.
package() {
  local name=$1 root=$tmp/$1 zip=$dir/workbook_zip/$1.vts part
  mkdir -p "$root/_rels" "$root/xl/_rels" "$root/xl/worksheets"
  [ -e "$root/[Content_Types].xml" ] || content_types '' >"$root/[Content_Types].xml"
  printf '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>' \
    "$reltype" >"$root/_rels/.rels"
  printf '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/></Relationships>' \
    "$reltype" >"$root/xl/_rels/workbook.xml.rels"
  [ -e "$root/xl/workbook.xml" ] || workbook '' >"$root/xl/workbook.xml"
  [ -e "$root/xl/worksheets/sheet1.xml" ] || sheet '' >"$root/xl/worksheets/sheet1.xml"
  rm -f "$zip"
  for part in '[Content_Types].xml' _rels/.rels xl/workbook.xml xl/_rels/workbook.xml.rels xl/worksheets/sheet1.xml; do
    ziptool -n "$zip" add_file "$part" "$root/$part" 0 0
  done
}

mkdir -p "$tmp/deep-row/xl/worksheets" "$tmp/deep-defined-name/xl" "$tmp/deep-content-types"
sheet "$(cat "$tmp/nested")" >"$tmp/deep-row/xl/worksheets/sheet1.xml"
workbook "<definedNames><definedName name=\"VERSION\">$(cat "$tmp/nested")</definedName></definedNames>" \
  >"$tmp/deep-defined-name/xl/workbook.xml"
content_types "$(cat "$tmp/nested")" >"$tmp/deep-content-types/[Content_Types].xml"
for name in deep-row deep-defined-name deep-content-types; do package "$name"; done

# fuzz_workbook_xml: sheet, shared strings, workbook, view part.
sheet "$(cat "$tmp/nested")" >"$dir/workbook_xml/deep-row"
{ sheet ''; printf '%s' "$separator"
  printf '<sst %s><si>%s</si></sst>' "$main" "$(cat "$tmp/nested")"; } >"$dir/workbook_xml/deep-shared-string"
{ sheet ''; printf '%s%s' "$separator" "$separator"
  printf '<workbook %s %s><sheets><sheet name="Tabelle1" sheetId="1" r:id="rId2"/></sheets><definedNames><definedName name="VERSION">%s</definedName></definedNames></workbook>' \
    "$main" "$rel" "$(cat "$tmp/nested")"; } >"$dir/workbook_xml/deep-defined-name"
