// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/HxvDxf.hpp"

#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string_view>
#include <vector>

#include "mapcontrol/DrawingModel.hpp"
#include "mapcontrol/DxfFile.hpp"
#include "mapcontrol/DxfText.hpp"
#include "mapcontrol/ProjectFile.hpp"
#include "platform/FileIo.hpp"
#include "tools/CliSupport.hpp"

namespace halvex::tools {
namespace {

using mapcontrol::DrawingModel;
using mapcontrol::DxfLoadReport;
using mapcontrol::ShapeData;
using mapcontrol::ShapeKind;

constexpr std::string_view kProgram = "hxv-dxf";

constexpr std::string_view kHelp =
    "Usage: hxv-dxf info FILE\n"
    "       hxv-dxf export PROJECT.hxv OUT.dxf\n"
    "       hxv-dxf import IN.dxf OUT.hxv\n"
    "The chart's drawing between project files and DXF.\n"
    "\n"
    "  info    describe FILE (a project file or an ASCII DXF file) as one JSON\n"
    "          object: \"format\" (\"halvex-chart\" or \"dxf\"), and per layer its\n"
    "          number, name and shape counts by kind; for DXF also the DXF\n"
    "          version, the code page its texts were read in, notes on the\n"
    "          reading and the entities that cannot be read, by type\n"
    "  export  write the project's drawing as DXF release 12 (AC1009); layer\n"
    "          colours become the nearest of the colour indices 1 to 9\n"
    "  import  read an ASCII DXF file (release 12 to 2018) into a new project\n"
    "          file; entities that cannot be read are counted on standard error\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 a file refused or not written, 2 bad command line.\n";

int UsageError(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << message << "\n"
      << "Usage: " << kProgram
      << " info FILE | export PROJECT.hxv OUT.dxf | import IN.dxf OUT.hxv\n"
      << "Try '" << kProgram << " --help' for more information.\n";
  return kHxvDxfUsage;
}

int Failure(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << message << "\n";
  return kHxvDxfFailed;
}

// Whether the file is meant as a project file: named so, or starting like
// an SQLite database. A broken file named ".hxv" is then reported as a
// broken project, not as a broken DXF file.
bool IsProjectFile(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".hxv") return true;
  static constexpr std::string_view kMagic{"SQLite format 3\0", 16};
  std::ifstream in(path, std::ios::binary);
  std::array<char, 16> head{};
  in.read(head.data(), head.size());
  return in.gcount() == 16 && std::string_view(head.data(), head.size()) == kMagic;
}

bool LoadProject(const std::string& path, DrawingModel& model, std::string& error) {
  return mapcontrol::ProjectFile::Load(path, model, error);
}

void WriteLayers(std::ostream& out, const DrawingModel& model) {
  out << "\"layers\":[";
  for (uint16_t l = 0; l < model.LayerCount(); ++l) {
    // Counts in the order of ShapeKind.
    std::array<size_t, 6> counts{};
    model.ForEachShape(l, [&](const ShapeData& s) { ++counts[static_cast<size_t>(s.kind) - 1]; });
    out << (l == 0 ? "" : ",") << "{\"number\":" << l
        << ",\"name\":" << HxvDxfJsonString(model.LayerName(l)) << ",\"shapes\":{"
        << "\"line\":" << counts[0] << ",\"point\":" << counts[1] << ",\"circle\":" << counts[2]
        << ",\"text\":" << counts[3] << ",\"polyline\":" << counts[4] << ",\"arc\":" << counts[5]
        << "}}";
  }
  out << "]";
}

int Info(const std::string& path, std::ostream& out, std::ostream& err) {
  DrawingModel model;
  std::string error;
  if (IsProjectFile(path)) {
    if (!LoadProject(path, model, error)) return Failure(err, error);
    out << "{\"format\":\"" << mapcontrol::ProjectFile::kFormat << "\",";
    WriteLayers(out, model);
    out << "}\n";
  } else {
    DxfLoadReport report;
    if (!mapcontrol::LoadDxf(path, model, report, error)) return Failure(err, error);
    out << "{\"format\":\"dxf\",\"version\":" << HxvDxfJsonString(report.version)
        << ",\"code_page\":" << HxvDxfJsonString(report.code_page) << ",\"notes\":[";
    for (size_t i = 0; i < report.notes.size(); ++i) {
      out << (i == 0 ? "" : ",") << HxvDxfJsonString(report.notes[i]);
    }
    out << "],";
    WriteLayers(out, model);
    out << ",\"unsupported\":{";
    bool first = true;
    for (const auto& [type, count] : report.unsupported) {
      out << (first ? "" : ",") << HxvDxfJsonString(type) << ":" << count;
      first = false;
    }
    out << "}}\n";
  }
  out.flush();
  return out ? kHxvDxfOk : Failure(err, "cannot write the output");
}

// Writing the output over the input would destroy the input before, or
// while, it is read.
bool SameFileRefused(const std::string& in, const std::string& out, std::ostream& err) {
  if (!platform::SameExistingFile(in, out)) return false;
  Failure(err, "the output '" + out + "' is the input file; choose another name");
  return true;
}

int Export(const std::string& project, const std::string& dxf, std::ostream& err) {
  if (SameFileRefused(project, dxf, err)) return kHxvDxfFailed;
  DrawingModel model;
  std::string error;
  if (!LoadProject(project, model, error)) return Failure(err, error);
  if (!mapcontrol::SaveDxf(model, dxf, error)) return Failure(err, error);
  return kHxvDxfOk;
}

int Import(const std::string& dxf, const std::string& project, std::ostream& err) {
  if (SameFileRefused(dxf, project, err)) return kHxvDxfFailed;
  DrawingModel model;
  DxfLoadReport report;
  std::string error;
  if (!mapcontrol::LoadDxf(dxf, model, report, error)) return Failure(err, error);
  for (const std::string& note : report.notes)
    err << kProgram << ": " << dxf << ": " << note << "\n";
  for (const auto& [type, count] : report.unsupported) {
    err << kProgram << ": " << dxf << ": " << count << " " << type << " not read\n";
  }
  if (!mapcontrol::ProjectFile::Save(model, project, error)) return Failure(err, error);
  return kHxvDxfOk;
}

}  // namespace

std::string HxvDxfJsonString(const std::string& text) {
  std::string out = "\"";
  // JSON is UTF-8: bytes that are not (a name from a damaged project file)
  // go out as U+FFFD.
  for (const char c : mapcontrol::ValidUtf8(text)) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(u));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

int RunHxvDxf(std::span<const std::string> args, std::istream& /*in*/, std::ostream& out,
              std::ostream& err) {
  std::vector<std::string> words;
  cli::OptionReader reader(args, words);
  for (auto kind = reader.Next(); kind != cli::OptionReader::Kind::kEnd; kind = reader.Next()) {
    if (kind == cli::OptionReader::Kind::kHelp) {
      out << kHelp;
      out.flush();
      return kHxvDxfOk;
    }
    if (reader.Name() == "--version" && !reader.HasInlineValue()) {
      cli::WriteVersion(out, kProgram);
      return kHxvDxfOk;
    }
    return UsageError(err, "unknown option '" + reader.Word() + "'");
  }
  if (words.empty()) return UsageError(err, "a command is needed: info, export or import");
  const std::string& command = words[0];
  const size_t needed = command == "info"                              ? 2
                        : (command == "export" || command == "import") ? 3
                                                                       : 0;
  if (needed == 0) return UsageError(err, "unknown command '" + command + "'");
  if (words.size() != needed) {
    return UsageError(err, "'" + command + "' takes " + std::to_string(needed - 1) +
                               (needed == 2 ? " file" : " files"));
  }
  if (command == "info") return Info(words[1], out, err);
  if (command == "export") return Export(words[1], words[2], err);
  return Import(words[1], words[2], err);
}

int RunHxvDxf(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err) {
  return RunHxvDxf(cli::Arguments(argc, argv), in, out, err);
}

}  // namespace halvex::tools
