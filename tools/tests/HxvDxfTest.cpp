// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/HxvDxf.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include <sys/stat.h>
#include <string>
#include <vector>

#include "mapcontrol/DrawingModel.hpp"
#include "mapcontrol/DxfFile.hpp"
#include "mapcontrol/DxfText.hpp"
#include "mapcontrol/ProjectFile.hpp"
#include "tools/tests/CliTestSupport.hpp"

namespace halvex::tools {
namespace {

using mapcontrol::DrawingModel;
using test_support::Has;
using test_support::TempFolder;
using test_support::ToolRun;

const std::string kData = DXF_TEST_DATA;

ToolRun Tool(const std::vector<std::string>& args) {
  return test_support::RunTool(RunHxvDxf, args, "");
}

// A project file with two layers and a few shapes.
std::string WriteProject(const TempFolder& folder, const std::string& name) {
  DrawingModel m;
  const uint16_t a = m.LayerOpen("Coast \"north\"");
  const uint16_t b = m.LayerOpen("Depth");
  m.DrawLine(0, 0, 1, 1, a);
  m.DrawLine(1, 1, 2, 0, a);
  m.DrawArc(0, 0, 5, 0, 90, a);
  m.DrawPoint(3, 4, b);
  m.TextAdd(b, "5 m", 3, 4, m.FontOpen("Arial", 2));
  m.DrawPolyline({{0, 0}, {1, 0}, {1, 1}}, true, b);
  m.DrawCircle(2, 2, 1, b);
  const std::string path = folder.Path(name);
  std::string error;
  EXPECT_TRUE(mapcontrol::ProjectFile::Save(m, path, error)) << error;
  return path;
}

TEST(HxvDxfCommandLine, UsageErrorsExitTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"info"},
                                             {"info", "a", "b"},
                                             {"export", "a.hxv"},
                                             {"import", "a.dxf", "b.hxv", "c"},
                                             {"convert", "a", "b"},
                                             {"--frobnicate", "info", "a"}}) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, kHxvDxfUsage) << testing::PrintToString(args);
    EXPECT_TRUE(Has(run.err, "Usage: hxv-dxf")) << run.err;
    EXPECT_TRUE(run.out.empty());
  }
  const ToolRun help = Tool({"--help"});
  EXPECT_EQ(help.status, kHxvDxfOk);
  EXPECT_TRUE(Has(help.out, "hxv-dxf import IN.dxf OUT.hxv"));
  const ToolRun version = Tool({"--version"});
  EXPECT_EQ(version.status, kHxvDxfOk);
  EXPECT_TRUE(Has(version.out, "hxv-dxf (Halvex)"));
}

TEST(HxvDxfCommandLine, JsonStrings) {
  EXPECT_EQ(HxvDxfJsonString("plain"), "\"plain\"");
  EXPECT_EQ(HxvDxfJsonString("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\"");
}

TEST(HxvDxfInfo, ProjectFile) {
  TempFolder folder;
  const std::string project = WriteProject(folder, "chart.hxv");
  const ToolRun run = Tool({"info", project});
  EXPECT_EQ(run.status, kHxvDxfOk) << run.err;
  EXPECT_EQ(run.out,
            "{\"format\":\"halvex-chart\",\"layers\":["
            "{\"number\":0,\"name\":\"Coast \\\"north\\\"\",\"shapes\":{\"line\":2,\"point\":0,"
            "\"circle\":0,\"text\":0,\"polyline\":0,\"arc\":1}},"
            "{\"number\":1,\"name\":\"Depth\",\"shapes\":{\"line\":0,\"point\":1,"
            "\"circle\":1,\"text\":1,\"polyline\":1,\"arc\":0}}]}\n");
  EXPECT_TRUE(run.err.empty());
}

TEST(HxvDxfInfo, DxfFileWithUnsupportedEntities) {
  const ToolRun run = Tool({"info", kData + "/unsupported.dxf"});
  EXPECT_EQ(run.status, kHxvDxfOk) << run.err;
  EXPECT_EQ(run.out,
            "{\"format\":\"dxf\",\"version\":\"AC1018\",\"code_page\":\"ANSI_1252\","
            "\"notes\":[],\"layers\":["
            "{\"number\":0,\"name\":\"Survey\",\"shapes\":{\"line\":1,\"point\":0,"
            "\"circle\":0,\"text\":0,\"polyline\":0,\"arc\":0}}],"
            "\"unsupported\":{\"HATCH\":1,\"SPLINE\":2}}\n");
}

// Whatever bytes a file holds, the output is UTF-8 JSON: a layer in code
// page bytes and escapes comes out as its characters, and bytes that are no
// character as U+FFFD.
TEST(HxvDxfInfo, OutputIsUtf8JsonWhateverTheFileHolds) {
  for (const char* name : {"r12_ansi1252_escaped_layer.dxf", "r12_ansi1253_layer.dxf"}) {
    const ToolRun run = Tool({"info", kData + "/" + name});
    EXPECT_EQ(run.status, kHxvDxfOk) << run.err;
    EXPECT_TRUE(Has(run.out, "\"name\":\"ΛΑΓΕΡÄÜÖ\"")) << run.out;
    EXPECT_TRUE(mapcontrol::IsValidUtf8(run.out));
    TempFolder folder;
    const std::string json = folder.Path("info.json");
    std::ofstream(json, std::ios::binary) << run.out;
    const std::string check =
        "/usr/bin/python3 -c \"import json, sys; "
        "json.load(open(sys.argv[1], encoding='utf-8', errors='strict'))\" '" +
        json + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << run.out;
  }
  EXPECT_EQ(HxvDxfJsonString("a\xFF\xC3(b"), "\"a\uFFFD\uFFFD(b\"");
}

TEST(HxvDxfInfo, RefusedFilesExitOneWithTheReason) {
  TempFolder folder;
  const std::string damaged =
      folder.Write("damaged.hxv", std::string("SQLite format 3\0", 16) + std::string(200, 'x'));
  for (const std::string& file :
       {kData + "/binary.dxf", kData + "/truncated.dxf", folder.Path("missing.dxf"), damaged}) {
    const ToolRun run = Tool({"info", file});
    EXPECT_EQ(run.status, kHxvDxfFailed) << file;
    EXPECT_TRUE(run.out.empty()) << file;
    EXPECT_TRUE(Has(run.err, "hxv-dxf: ")) << run.err;
  }
  EXPECT_TRUE(Has(Tool({"info", kData + "/binary.dxf"}).err, "binary"));
  EXPECT_TRUE(Has(Tool({"info", kData + "/truncated.dxf"}).err, "truncated"));
  // A broken file named as a project is reported as a project, in one line.
  EXPECT_TRUE(Has(Tool({"info", folder.Write("empty.hxv", "")}).err,
                  "not a chart project file (the file is empty)"));
  EXPECT_TRUE(Has(Tool({"info", folder.Write("image.hxv", "\x89PNG\r\n\x1a\nIHDR data")}).err,
                  "not a chart project file"));
  const std::string damaged_err = Tool({"info", damaged}).err;
  EXPECT_TRUE(Has(damaged_err, "damaged chart project file")) << damaged_err;
  EXPECT_EQ(damaged_err.find('\n'), damaged_err.size() - 1) << damaged_err;
}

TEST(HxvDxfExportImport, ProjectThroughDxfAndBack) {
  TempFolder folder;
  const std::string project = WriteProject(folder, "chart.hxv");
  const std::string dxf = folder.Path("chart.dxf");
  const ToolRun exported = Tool({"export", project, dxf});
  ASSERT_EQ(exported.status, kHxvDxfOk) << exported.err;
  EXPECT_TRUE(exported.out.empty());
  EXPECT_TRUE(exported.err.empty());

  const std::string back = folder.Path("back.hxv");
  const ToolRun imported = Tool({"import", dxf, back});
  ASSERT_EQ(imported.status, kHxvDxfOk) << imported.err;
  EXPECT_TRUE(imported.err.empty()) << imported.err;  // nothing skipped

  // The same description, except for the format.
  const std::string before = Tool({"info", project}).out;
  const std::string after = Tool({"info", back}).out;
  EXPECT_EQ(before, after);
  const std::string of_dxf = Tool({"info", dxf}).out;
  EXPECT_TRUE(Has(of_dxf, "\"format\":\"dxf\",\"version\":\"AC1009\"")) << of_dxf;
  EXPECT_TRUE(Has(of_dxf, before.substr(std::string("{\"format\":\"halvex-chart\",").size(),
                                        before.size() - 28)))
      << of_dxf;
}

TEST(HxvDxfExportImport, ImportReportsSkippedEntities) {
  TempFolder folder;
  const std::string out = folder.Path("out.hxv");
  const ToolRun run = Tool({"import", kData + "/unsupported.dxf", out});
  EXPECT_EQ(run.status, kHxvDxfOk);
  EXPECT_TRUE(Has(run.err, "2 SPLINE not read")) << run.err;
  EXPECT_TRUE(Has(run.err, "1 HATCH not read")) << run.err;
  DrawingModel m;
  std::string error;
  ASSERT_TRUE(mapcontrol::ProjectFile::Load(out, m, error)) << error;
  EXPECT_EQ(m.ShapeCount(), 1u);
}

TEST(HxvDxfExportImport, FailuresExitOneAndWriteNothing) {
  TempFolder folder;
  const std::string out = folder.Path("out.hxv");
  const ToolRun refused = Tool({"import", kData + "/binary.dxf", out});
  EXPECT_EQ(refused.status, kHxvDxfFailed);
  EXPECT_TRUE(Has(refused.err, "binary"));
  EXPECT_FALSE(std::filesystem::exists(out));

  const std::string dxf = folder.Path("out.dxf");
  const ToolRun no_project = Tool({"export", folder.Path("missing.hxv"), dxf});
  EXPECT_EQ(no_project.status, kHxvDxfFailed);
  EXPECT_FALSE(std::filesystem::exists(dxf));

  // A DXF file given as the project is refused, not exported.
  const ToolRun not_project = Tool({"export", kData + "/r12_basic.dxf", dxf});
  EXPECT_EQ(not_project.status, kHxvDxfFailed);
  EXPECT_FALSE(std::filesystem::exists(dxf));

  const std::string project = WriteProject(folder, "chart.hxv");
  const ToolRun unwritable = Tool({"export", project, folder.Path("no/folder/out.dxf")});
  EXPECT_EQ(unwritable.status, kHxvDxfFailed);
  EXPECT_TRUE(Has(unwritable.err, "hxv-dxf: "));
}

// What the writers do to whatever already stands at the output's name.
TEST(HxvDxfExportImport, OutputsNeverDestroyWhatIsThere) {
  namespace fs = std::filesystem;
  TempFolder folder;
  const std::string project = WriteProject(folder, "chart.hxv");
  const std::string dxf = folder.Path("chart.dxf");
  ASSERT_EQ(Tool({"export", project, dxf}).status, kHxvDxfOk);
  const std::string project_info = Tool({"info", project}).out;
  const std::string dxf_info = Tool({"info", dxf}).out;

  // The input as the output: refused, the input unchanged.
  for (const auto& args : {std::vector<std::string>{"export", project, project},
                           std::vector<std::string>{"import", dxf, dxf}}) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, kHxvDxfFailed) << args[0];
    EXPECT_TRUE(Has(run.err, "is the input file")) << run.err;
  }
  EXPECT_EQ(Tool({"info", project}).out, project_info);
  EXPECT_EQ(Tool({"info", dxf}).out, dxf_info);
  // ... also when reached through a link.
  fs::create_symlink("chart.dxf", folder.Path("alias.dxf"));
  EXPECT_EQ(Tool({"import", folder.Path("alias.dxf"), dxf}).status, kHxvDxfFailed);
  EXPECT_EQ(Tool({"info", dxf}).out, dxf_info);

  // A FIFO and a device stay what they are.
  const std::string fifo = folder.Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Tool({"export", project, fifo}).status, kHxvDxfFailed);
  EXPECT_EQ(Tool({"import", dxf, fifo}).status, kHxvDxfFailed);
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
  EXPECT_EQ(Tool({"export", project, "/dev/null"}).status, kHxvDxfFailed);
  EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);

  // A link is written through to its target; the target keeps its bits.
  fs::create_directory(folder.Path("real"));
  const std::string real = folder.Path("real/out.dxf");
  ASSERT_EQ(Tool({"export", project, real}).status, kHxvDxfOk);
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("real/out.dxf", folder.Path("link.dxf"));
  ASSERT_EQ(Tool({"export", project, folder.Path("link.dxf")}).status, kHxvDxfOk);
  EXPECT_TRUE(fs::is_symlink(folder.Path("link.dxf")));
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  const std::string real_project = folder.Path("real/out.hxv");
  ASSERT_EQ(Tool({"import", dxf, real_project}).status, kHxvDxfOk);
  fs::permissions(real_project, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("real/out.hxv", folder.Path("link.hxv"));
  ASSERT_EQ(Tool({"import", dxf, folder.Path("link.hxv")}).status, kHxvDxfOk);
  EXPECT_TRUE(fs::is_symlink(folder.Path("link.hxv")));
  EXPECT_EQ(fs::status(real_project).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// Values no DXF file can hold are refused with a reason, not a crash, and
// leave no file behind.
TEST(HxvDxfExportImport, ValuesBeyondDxfAreRefused) {
  TempFolder folder;
  // (The drawing itself refuses shapes that are not finite.)
  for (const double bad : {1e300, -1e120, std::numeric_limits<double>::max()}) {
    DrawingModel m;
    const uint16_t l = m.LayerOpen("far");
    m.DrawPoint(1, 2, l);
    m.DrawLine(0, 0, bad, 5, l);
    const std::string project = folder.Path("far.hxv");
    std::string error;
    ASSERT_TRUE(mapcontrol::ProjectFile::Save(m, project, error)) << error;
    const std::string dxf = folder.Path("far.dxf");
    const ToolRun run = Tool({"export", project, dxf});
    EXPECT_EQ(run.status, kHxvDxfFailed) << bad;
    EXPECT_TRUE(Has(run.err, "shape 2 on layer \"far\"")) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dxf));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path("")),
                            std::filesystem::directory_iterator()),
              1);
    std::filesystem::remove(project);
  }
  // The largest value still written is read back as it was.
  DrawingModel m;
  const uint16_t l = m.LayerOpen("far");
  m.DrawLine(0, 0, 1e100, -1e100, l);
  const std::string dxf = folder.Path("edge.dxf");
  std::string error;
  ASSERT_TRUE(mapcontrol::SaveDxf(m, dxf, error)) << error;
  DrawingModel back;
  mapcontrol::DxfLoadReport report;
  ASSERT_TRUE(mapcontrol::LoadDxf(dxf, back, report, error)) << error;
  EXPECT_EQ(back.GetShape(1)->x2, 1e100);
}

}  // namespace
}  // namespace halvex::tools
