#pragma once
#include <string>
#include <string_view>

// Part names and relationship targets inside an OOXML package, shared by the
// reader and the writer.
namespace packagepaths {

bool EndsWith(std::string_view s, std::string_view suffix);

// The folder of a part ("xl/workbook.xml" -> "xl"), "" at the top.
std::string Folder(const std::string& part);
// Where a part's relationships live ("xl/_rels/workbook.xml.rels").
std::string RelsPartOf(const std::string& part);
// A relationship target as a zip entry name: absolute ("/xl/a.xml") or relative
// to the source part's folder, with "." and ".." resolved.
std::string ResolveTarget(const std::string& folder, std::string_view target);
// The target a part of `folder` uses to point at `part`: relative below the
// folder, absolute otherwise.
std::string TargetFrom(const std::string& folder, const std::string& part);

}  // namespace packagepaths
