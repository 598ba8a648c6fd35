// Every #include of a project header runs down the table of layers in docs/architecture.md:
// a file may include its own folder and the folders of lower layers, never a higher layer and
// never a sibling on its own layer. The table is the one a reader sees; this test reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kSource = std::getenv("VEXLO_SOURCE_DIR") ? std::getenv("VEXLO_SOURCE_DIR") : ".";

struct Layers {
    std::map<std::string, int> level;  // "memo/" -> 6
};

// Reads the rows "| 6 | `memo/`, `library/` | ... |" of the table of layers.
Layers ReadLayers(const fs::path& doc)
{
    Layers layers;
    std::ifstream in(doc);
    const std::regex row(R"(^\|\s*(\d+)\s*\|([^|]*)\|)");
    const std::regex folder("`([a-z0-9/]+/)`");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, row))
            continue;
        const int level = std::stoi(m[1]);
        const std::string cell = m[2];
        for (std::sregex_iterator it(cell.begin(), cell.end(), folder), end; it != end; ++it)
            layers.level[(*it)[1]] = level;
    }
    return layers;
}

// The folder of the table that holds PATH (the longest that matches), or "" for none.
std::string FolderOf(const Layers& layers, const std::string& path)
{
    std::string best;
    for (const auto& [folder, level] : layers.level)
        if (path.starts_with(folder) && folder.size() > best.size())
            best = folder;
    return best;
}

struct Violation {
    std::string file, header, why;
};

std::vector<Violation> UpwardIncludes(const Layers& layers)
{
    std::vector<Violation> found;
    const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    for (const auto& entry : fs::recursive_directory_iterator(kSource)) {
        const std::string rel = fs::relative(entry.path(), kSource).generic_string();
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h"))
            continue;
        const std::string from = FolderOf(layers, rel);
        if (from.empty())
            continue;  // build folders and anything else the table does not list
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            if (!std::regex_search(line, m, include))
                continue;
            const std::string header = m[1];
            const std::string to = FolderOf(layers, header);
            if (to.empty() || to == from || !fs::exists(kSource / header))
                continue;  // a header of the same folder, or one the build generates
            const int fromLevel = layers.level.at(from), toLevel = layers.level.at(to);
            if (toLevel < fromLevel)
                continue;
            found.push_back({rel, header, toLevel == fromLevel ? "a sibling on the same layer" : "a higher layer"});
        }
    }
    return found;
}

std::string Describe(const std::vector<Violation>& found)
{
    std::ostringstream text;
    for (const auto& v : found)
        text << "  " << v.file << " includes " << v.header << " (" << v.why << ")\n";
    return text.str();
}

}  // namespace

TEST(Layers, EveryIncludeRunsDownTheTableOfLayers)
{
    const Layers layers = ReadLayers(kSource / "docs/architecture.md");
    // The table names the folders that hold the program's code.
    for (const char* folder : {"platform/", "transfer/", "link/", "picture/", "store/", "session/", "gui/", "memo/",
                               "library/", "app/", "tools/cli/"})
        ASSERT_TRUE(layers.level.contains(folder)) << folder << " is missing from the table of layers";
    const auto found = UpwardIncludes(layers);
    EXPECT_TRUE(found.empty()) << "includes that run up a layer or across to a sibling:\n" << Describe(found);
}

TEST(Layers, TheCheckFindsAnIncludeThatRunsUp)
{
    // The check itself: a table in which memo/ sits below platform/ must report the includes of
    // platform/ headers from memo windows.
    Layers layers = ReadLayers(kSource / "docs/architecture.md");
    layers.level["memo/"] = -1;
    const auto found = UpwardIncludes(layers);
    EXPECT_TRUE(std::any_of(found.begin(), found.end(), [](const Violation& v) {
        return v.file.starts_with("memo/") && v.why == "a higher layer";
    })) << Describe(found);
}
