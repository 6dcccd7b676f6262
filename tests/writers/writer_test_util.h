// Helpers shared by the writer tests: scratch folders, opening a written file with our own
// reader, and reading one node's properties back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "engine/format_detection.h"
#include "engine/index_tables.h"
#include "message/property_reader.h"
#include "recovery/recovered_base.h"

namespace brevik::test {

// A scratch folder removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
#ifdef _WIN32
        // No mkdtemp there: a random name, retried while taken.
        do
            path_ = std::filesystem::temp_directory_path() /
                    ("brevik-writer-" + std::to_string(std::random_device{}()));
        while (!std::filesystem::create_directory(path_));
#else
        std::string pattern =
            (std::filesystem::temp_directory_path() / "brevik-writer-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
#endif
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const {
        return (path_ / name).string();
    }
    const std::filesystem::path& path() const {
        return path_;
    }

  private:
    std::filesystem::path path_;
};

inline std::size_t countFiles(const std::filesystem::path& dir) {
    std::size_t n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        n += it->is_regular_file() ? 1 : 0;
    return n;
}

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Opens a written file with the engine and builds its index tables.
inline std::unique_ptr<RecoveredBase> openWritten(const std::string& path) {
    auto base = std::make_unique<RecoveredBase>();
    setMessageBasePath(*base, path);
    if (!base->openFile()) return nullptr;
    if (detectFormat(*base) != 0) return nullptr;
    if (buildIndexTables(*base) != 0) return nullptr;
    // Our files are always fully decidable; decode when the header says permuted.
    base->encodingState = readCryptMethod(*base) == CryptMethod::Permute ? encoding::kPermuteEarly
                                                                         : encoding::kPlainEarly;
    return base;
}

// The reachable node entry of `nid` (or a stale one when `reachable` is false); null when none.
inline const NodeEntry* findNode(const RecoveredBase& base, std::uint32_t nid,
                                 bool reachable = true) {
    for (const auto& n : base.nodeTable)
        if (n.nodeId == nid && (n.reachable != 0) == reachable) return &n;
    return nullptr;
}

// Every property of a node (PC: one row; TC: one row per table row), read completely.
inline PropertyList readNode(RecoveredBase& base, const NodeEntry& node) {
    std::vector<SubnodeEntry> subnodes;
    const BlockIndex sub = node.subnodeBid ? findBlock(base, node.subnodeBid) : kNoBlock;
    if (sub != kNoBlock) readSubnodeList(base, subnodes, sub, 0, 0);
    PropertyList rows;
    readPropertyList(base, rows, findBlock(base, node.dataBid), subnodes, true, ReadMode::Complete);
    return rows;
}

// Subnodes of a node, flattened.
inline std::vector<SubnodeEntry> subnodesOf(RecoveredBase& base, const NodeEntry& node) {
    std::vector<SubnodeEntry> subnodes;
    const BlockIndex sub = node.subnodeBid ? findBlock(base, node.subnodeBid) : kNoBlock;
    if (sub != kNoBlock) readSubnodeList(base, subnodes, sub, 0, 0);
    return subnodes;
}

inline const PropertyValue* findValue(const PropertyRow& row, std::uint32_t id) {
    for (const auto& v : row)
        if (v.id == id && v.present()) return &v;
    return nullptr;
}

// Runs a shell command; returns its exit status and fills `output` with stdout and stderr.
inline int runCommand(const std::string& command, std::string* output = nullptr) {
    std::string text;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (output) *output = std::move(text);
#ifdef _WIN32
    return status;  // the exit status itself: no signals there
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

inline bool haveTool(const std::string& name) {
    return runCommand("command -v " + name + " >/dev/null") == 0;
}

}  // namespace brevik::test
