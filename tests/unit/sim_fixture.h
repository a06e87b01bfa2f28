// Base fixture of every host test: a fresh simulated system, a private folder
// for host files, and a check that the test left no handle or block behind.
#pragma once

#include "sim_control.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    std::string templ = (std::filesystem::temp_directory_path() / "tavrin-test-XXXXXX").string();
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    tempDir_ = name.data();
  }

  void TearDown() override {
    EXPECT_EQ(sim::OpenHandleCount(), 0) << "a file, device or driver handle was left open";
    EXPECT_EQ(sim::LiveVirtualAllocs(), 0) << "a VirtualAlloc block was not freed";
    EXPECT_EQ(sim::LiveHeapAllocs(), 0) << "a HeapAlloc block was not freed";
    std::error_code ignored;
    std::filesystem::remove_all(tempDir_, ignored);
    sim::Reset();
  }

  // A path inside this test's private folder.
  std::string TempPath(const std::string& name) const { return tempDir_ + "/" + name; }

  static void WriteHostFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // Runs a native tool through the shell (quote paths with Quoted); true when it exits 0.
  static bool RunTool(const std::string& command) { return std::system(command.c_str()) == 0; }
  static std::string Quoted(const std::string& path) { return "'" + path + "'"; }

  // Compresses the host files `parts` into `out` with the native tool of the
  // extension (.gz, .xz, .zst: one member, stream or frame per part, one after
  // the other; .zip: one archive entry per part).
  // `extension` names the tool; ".vhd" is a fixed virtual disk and ".dynamic.vhd"
  // a dynamic one, of the parts one after the other (both sized exactly, in
  // whole sectors); the archives are below.
  static bool CompressWithTool(const std::string& extension, const std::vector<std::string>& parts,
                               const std::string& out) {
    std::string command = "rm -f " + Quoted(out);
    if (extension == ".vhd" || extension == ".dynamic.vhd") {
      command += " && cat";
      for (const std::string& part : parts) command += " " + Quoted(part);
      const std::string subformat = extension == ".vhd" ? "fixed" : "dynamic";
      return RunTool(command + " >" + Quoted(out + ".raw") + " && qemu-img convert -q -f raw -O vpc -o subformat=" +
                     subformat + ",force_size=on " + Quoted(out + ".raw") + " " + Quoted(out) + " && rm -f " +
                     Quoted(out + ".raw"));
    }
    // An archive of the parts, named without their folder: ".7z" in 7zz's
    // defaults (solid LZMA2), ".lzma.7z" and the like in that method or filter;
    // ".tar" in tar's own format, then compressed as the name ends.
    const size_t tarAt = extension.find(".tar");
    const bool sevenZip = extension.size() >= 3 && extension.compare(extension.size() - 3, 3, ".7z") == 0;
    if (sevenZip || tarAt != std::string::npos || extension == ".tgz") {
      if (parts.empty()) return false;
      const std::string folder = parts[0].substr(0, parts[0].rfind('/'));
      std::string names;
      for (const std::string& part : parts) names += " " + Quoted(part.substr(part.rfind('/') + 1));
      if (sevenZip) {
        const std::string method = extension.substr(0, extension.size() - 3);
        std::string options = "";
        if (method == ".lzma" || method == ".deflate" || method == ".bzip2") options = " -m0=" + method.substr(1);
        else if (method == ".bcj") options = " -mf=BCJ";
        else if (method == ".bcj2") options = " -mf=BCJ2";
        else if (!method.empty()) return false;
        return RunTool(command + " && cd " + Quoted(folder) + " && 7zz a -bso0 -bsp0 -y" + options + " " + Quoted(out) +
                       names);
      }
      const std::string compression = extension == ".tgz" ? ".gz" : extension.substr(tarAt + 4);
      std::string flag;
      if (compression == ".gz") flag = " -z";
      else if (compression == ".xz") flag = " -J";
      else if (compression == ".zst") flag = " --zstd";
      else if (compression == ".bz2") flag = " -j";
      else if (!compression.empty()) return false;
      return RunTool(command + " && tar -c" + flag + " -f " + Quoted(out) + " -C " + Quoted(folder) + names);
    }
    for (const std::string& part : parts) {
      if (extension == ".zip") command += " && zip -q -j " + Quoted(out) + " " + Quoted(part);
      else if (extension == ".gz") command += " && gzip -c " + Quoted(part) + " >>" + Quoted(out);
      else if (extension == ".xz") command += " && xz -c " + Quoted(part) + " >>" + Quoted(out);
      else if (extension == ".zst") command += " && zstd -q -c " + Quoted(part) + " >>" + Quoted(out);
      else if (extension == ".bz2") command += " && bzip2 -c " + Quoted(part) + " >>" + Quoted(out);
      else if (extension == ".lz4") command += " && lz4 -q -c " + Quoted(part) + " >>" + Quoted(out);
      else return false;
    }
    return RunTool(command);
  }

  static std::vector<uint8_t> ReadHostFile(const std::string& path) {
    // One read of the whole file: a byte-wise iterator is slow on the soak's megabytes.
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(in ? static_cast<size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
  }

  std::string tempDir_;
};
