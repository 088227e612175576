// Putting an output file in place: prepare, write, commit, discard. Runs in
// this process; the kill, file-size and device tests of the whole tool are
// in cli_output_test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "output/output_target.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// What an encoder would write: any bytes will do.
const bytes content = {'B', 'M', 6, 4, 2, 0, 5, 3, 1, 0, 0x80, 0xFF};

class output_target_test : public testing::Test {
protected:
    void SetUp() override
    {
        dir = make_scratch_dir();
    }
    void TearDown() override { remove_tree(dir); }

    int save(const std::string& path)
    {
        output_target output;
        const output_outcome prepared = output.prepare(path.c_str());
        if (prepared.status != output_status::ok)
            return prepared.error;
        if (write(output.fd(), content.data(), content.size()) != static_cast<ssize_t>(content.size()))
            return errno;
        return output.commit();
    }
    std::vector<std::string> entries(const std::string& folder) const { return folder_entries(folder); }
    std::vector<std::string> entries() const { return folder_entries(dir); }
    void expect_picture(const std::string& path) { EXPECT_EQ(read_file(path), content) << path; }
    std::string dir;
};

struct stat_result {
    bool ok;
    struct stat info;
};

stat_result stat_of(const std::string& path)
{
    stat_result result{};
    result.ok = stat(path.c_str(), &result.info) == 0;
    return result;
}

TEST_F(output_target_test, replacing_a_file_keeps_its_permission_bits)
{
    for (mode_t mode : {0600u, 0640u, 0604u, 0750u, 0444u}) {
        const std::string path = dir + "/old.bmp";
        write_file(path, bytes(1000, 7));
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        const mode_t previous = umask(0);
        const int error = save(path);
        umask(previous);
        if (mode == 0444u && geteuid() != 0) {
            EXPECT_EQ(error, EACCES);
            continue;
        }
        ASSERT_EQ(error, 0) << std::oct << mode;
        expect_picture(path);
        EXPECT_EQ(stat_of(path).info.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(entries(), std::vector<std::string>{"old.bmp"});
    }
}

TEST_F(output_target_test, a_symbolic_link_stays_and_its_file_gets_the_picture)
{
    fs::create_directory(dir + "/real");
    write_file(dir + "/real/picture.bmp", bytes(5, 9));
    ASSERT_EQ(chmod((dir + "/real/picture.bmp").c_str(), 0600), 0);
    // A relative link is read from its own folder, not the working one.
    fs::create_symlink("real/picture.bmp", dir + "/link.bmp");
    fs::create_symlink("link.bmp", dir + "/chain.bmp");
    fs::create_symlink(dir + "/real/later.bmp", dir + "/dangling.bmp");
    for (const char* name : {"link.bmp", "chain.bmp"}) {
        ASSERT_EQ(save(dir + "/" + name), 0) << name;
        EXPECT_TRUE(fs::is_symlink(dir + "/" + name)) << name;
        expect_picture(dir + "/real/picture.bmp");
        EXPECT_EQ(stat_of(dir + "/real/picture.bmp").info.st_mode & 0777, 0600u);
    }
    ASSERT_EQ(save(dir + "/dangling.bmp"), 0);
    EXPECT_TRUE(fs::is_symlink(dir + "/dangling.bmp"));
    expect_picture(dir + "/real/later.bmp");
    EXPECT_EQ(entries(dir + "/real"), (std::vector<std::string>{"later.bmp", "picture.bmp"}));
    EXPECT_EQ(entries(), (std::vector<std::string>{"chain.bmp", "dangling.bmp", "link.bmp", "real"}));
}

TEST_F(output_target_test, preparing_reports_what_stands_in_the_way_and_creates_nothing)
{
    fs::create_directory(dir + "/folder.bmp");
    write_file(dir + "/plain", bytes(3, 0));
    fs::create_symlink("loop2.bmp", dir + "/loop1.bmp");
    fs::create_symlink("loop1.bmp", dir + "/loop2.bmp");
    const struct {
        std::string path;
        int error;
    } cases[] = {
        {dir + "/missing/out.bmp", ENOENT},
        {dir + "/folder.bmp", EISDIR},
        {dir + "/plain/out.bmp", ENOTDIR},
        {dir + "/loop1.bmp", ELOOP},
        {"", ENOENT},
    };
    const std::vector<std::string> before = entries();
    for (const auto& c : cases) {
        output_target output;
        const output_outcome outcome = output.prepare(c.path.c_str());
        EXPECT_EQ(outcome.status, output_status::system_error) << c.path;
        EXPECT_EQ(outcome.error, c.error) << c.path;
        EXPECT_EQ(output.fd(), -1) << c.path;
        EXPECT_EQ(entries(), before) << c.path;
    }
}

// Discarded by hand, or by the object going out of scope uncommitted.
TEST_F(output_target_test, a_prepared_temporary_sits_beside_the_target_and_discarding_removes_it)
{
    fs::create_directory(dir + "/sub");
    write_file(dir + "/sub/out.bmp", bytes(6, 3));
    for (bool by_hand : {true, false}) {
        {
            output_target output;
            ASSERT_EQ(output.prepare((dir + "/sub/out.bmp").c_str()).status, output_status::ok);
            ASSERT_EQ(write(output.fd(), content.data(), content.size()), static_cast<ssize_t>(content.size()));
            if (output.named()) {
                const std::string name = fs::path(output.temporary_path()).filename().string();
                EXPECT_EQ(name.rfind(".velmora-", 0), 0u) << name;
                EXPECT_EQ(fs::path(output.temporary_path()).parent_path(), fs::path(dir + "/sub"));
                EXPECT_EQ(entries(dir + "/sub").size(), 2u);
            } else {
                EXPECT_EQ(entries(dir + "/sub"), std::vector<std::string>{"out.bmp"}) << "an unnamed file has no entry";
            }
            if (by_hand) {
                output.discard();
                EXPECT_EQ(output.fd(), -1);
            }
        }
        EXPECT_EQ(entries(dir + "/sub"), std::vector<std::string>{"out.bmp"});
        EXPECT_EQ(read_file(dir + "/sub/out.bmp"), bytes(6, 3));
        EXPECT_EQ(entries(), std::vector<std::string>{"sub"});
    }
}

TEST_F(output_target_test, a_name_of_255_bytes_still_gets_its_temporary)
{
    const std::string name(251, 'n');
    ASSERT_EQ(save(dir + "/" + name + ".bmp"), 0);
    expect_picture(dir + "/" + name + ".bmp");
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(output_target_test, a_path_longer_than_the_system_allows_is_refused)
{
    output_target output;
    EXPECT_EQ(output.prepare(std::string(5000, 'a').c_str()).error, ENAMETOOLONG);
    EXPECT_EQ(output.fd(), -1);
}

}  // namespace
