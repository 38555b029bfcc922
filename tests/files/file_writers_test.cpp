// Every exported function that writes an output file, driven through the
// same hostile situations: a write that fails half-way (file-size limit), a
// directory, FIFO or symbolic link at the output name, an existing file of
// someone else, a missing input. In each the output name must end either as
// the complete new file or exactly as it was, with no temporary file left.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "morvanevelt.h"

namespace {

using testutil::Bytes;
using testutil::read_file;
using testutil::temp_path;
using testutil::write_file;

const Bytes kKey16 = testutil::from_hex("000102030405060708090a0b0c0d0e0f");
const Bytes kKey24 = testutil::from_hex("0123456789abcdeffedcba987654321089abcdef01234567");
const Bytes kIv16 = testutil::from_hex("f0e0d0c0b0a090807060504030201000");
const Bytes kIv12 = testutil::from_hex("cafebabefacedbaddecaf888");
const Bytes kIv8 = testutil::from_hex("1234567890abcdef");

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.insert(n);
    }
    closedir(d);
    return names;
}

// op's result, run in a child limited to `limit` bytes per file (SIGXFSZ
// ignored, so the oversized write fails with EFBIG instead of a signal).
long with_file_limit(rlim_t limit, const std::function<long()>& op) {
    int fds[2];
    if (pipe(fds) != 0) return -99999;
    fflush(nullptr);  // the child must not repeat buffered output
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        signal(SIGXFSZ, SIG_IGN);
        rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        long r = op();
        ssize_t w = write(fds[1], &r, sizeof r);
        _exit(w == sizeof r ? 0 : 1);
    }
    close(fds[1]);
    long r = -99998;
    if (read(fds[0], &r, sizeof r) != sizeof r) r = -99997;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return r;
}

// Inputs shared by every writer: a binary file, its PEM form, ciphertexts
// for the decrypting functions, and an RSA key pair as key strings.
struct Inputs {
    std::string dir, bin, pem, cbc, gcm, tdea;
    std::string pub, pri;
};

const Inputs& inputs() {
    static Inputs in = [] {
        Inputs s;
        s.dir = temp_path("writer-inputs");
        mkdir(s.dir.c_str(), 0700);
        s.bin = s.dir + "/in.bin";
        Bytes data(20000);
        for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 131 + 7);
        write_file(s.bin, data);
        s.pem = s.dir + "/in.pem";
        s.cbc = s.dir + "/in.cbc";
        s.gcm = s.dir + "/in.gcm";
        s.tdea = s.dir + "/in.tdea";
        EXPECT_EQ(PEM_FileFromBinFile(s.pem.c_str(), s.bin.c_str(), "DATA", 64), 0);
        EXPECT_EQ(CIPHER_FileEncrypt(s.cbc.c_str(), s.bin.c_str(), kKey16.data(), 16, kIv16.data(), 16,
                                     "aes128/cbc", 0),
                  0);
        EXPECT_EQ(CIPHER_FileEncrypt(s.gcm.c_str(), s.bin.c_str(), kKey16.data(), 16, kIv12.data(), 12,
                                     "aes128-gcm", 0),
                  0);
        EXPECT_EQ(TDEA_File(s.tdea.c_str(), s.bin.c_str(), kKey24.data(), 1, "CBC", kIv8.data()), 0);
        std::string pubf = s.dir + "/k.pub", prif = s.dir + "/k.key";
        EXPECT_EQ(RSA_MakeKeys(pubf.c_str(), prif.c_str(), 512, 4, 8, 1000, "pw", nullptr, 0, 0), 0);
        long n = RSA_ReadEncPrivateKey(nullptr, 0, prif.c_str(), "pw", 0);
        s.pri.assign(size_t(n > 0 ? n : 0), '\0');
        RSA_ReadEncPrivateKey(s.pri.data(), n, prif.c_str(), "pw", 0);
        n = RSA_ReadPublicKey(nullptr, 0, pubf.c_str(), 0);
        s.pub.assign(size_t(n > 0 ? n : 0), '\0');
        RSA_ReadPublicKey(s.pub.data(), n, pubf.c_str(), 0);
        return s;
    }();
    return in;
}

struct Writer {
    const char* name;
    // Writes `out` (reading `in` where the function has an input file).
    std::function<long(const std::string& out, const std::string& in)> run;
    std::string in;            // the normal input file, empty when none
    const char* companion;     // suffix of a second output written beside out, or null
    bool secret;               // output mode 0600 rather than 0644
    long create, write, open;  // results for a refused target, a failed write, a missing input
};

std::vector<Writer> writers() {
    const Inputs& I = inputs();
    const char* pri = I.pri.c_str();
    const char* pub = I.pub.c_str();
    auto enc = [](const char* sel, const Bytes& key, const Bytes& iv) {
        return [=](const std::string& o, const std::string& i) {
            return CIPHER_FileEncrypt(o.c_str(), i.c_str(), key.data(), long(key.size()), iv.data(),
                                      long(iv.size()), sel, 0);
        };
    };
    auto dec = [](const char* sel, const Bytes& key, const Bytes& iv) {
        return [=](const std::string& o, const std::string& i) {
            return CIPHER_FileDecrypt(o.c_str(), i.c_str(), key.data(), long(key.size()), iv.data(),
                                      long(iv.size()), sel, 0);
        };
    };
    return {
        {"RSA_SavePublicKey",
         [=](const std::string& o, const std::string&) { return RSA_SavePublicKey(o.c_str(), pub, 0x10000); },
         "", nullptr, false, 2, 4, 0},
        {"RSA_SavePrivateKeyInfo",
         [=](const std::string& o, const std::string&) {
             return RSA_SavePrivateKeyInfo(o.c_str(), pri, 0x10000);
         },
         "", nullptr, true, 2, 4, 0},
        {"RSA_SaveEncPrivateKey",
         [=](const std::string& o, const std::string&) {
             return RSA_SaveEncPrivateKey(o.c_str(), pri, 1000, "pw", 0x10000);
         },
         "", nullptr, true, 2, 4, 0},
        {"RSA_SaveEncKey",
         [=](const std::string& o, const std::string&) {
             return RSA_SaveEncKey(o.c_str(), pri, "pw", "count=1000", 0);
         },
         "", nullptr, true, -2, -4, 0},
        {"RSA_MakeKeys (private key file)",
         [](const std::string& o, const std::string&) {
             return RSA_MakeKeys((o + ".pub").c_str(), o.c_str(), 512, 4, 8, 1000, "pw", nullptr, 0, 0x10000);
         },
         "", ".pub", true, -4, -13, 0},
        {"RSA_MakeKeysXtd (public key file)",
         [](const std::string& o, const std::string&) {
             return RSA_MakeKeysXtd(o.c_str(), (o + ".key").c_str(), "pw", 512, 4, "count=1000", 0);
         },
         "", ".key", false, -2, -13, 0},
        {"CIPHER_FileEncrypt (CBC)", enc("aes128/cbc", kKey16, kIv16), I.bin, nullptr, false, -2, -4, -1},
        {"CIPHER_FileDecrypt (CBC)", dec("aes128/cbc", kKey16, kIv16), I.cbc, nullptr, true, -2, -4, -1},
        {"CIPHER_FileEncrypt (GCM)", enc("aes128-gcm", kKey16, kIv12), I.bin, nullptr, false, -2, -4, -1},
        {"CIPHER_FileDecrypt (GCM)", dec("aes128-gcm", kKey16, kIv12), I.gcm, nullptr, true, -2, -4, -1},
        {"CIPHER_File",
         [](const std::string& o, const std::string& i) {
             return CIPHER_File(1, o.c_str(), i.c_str(), kKey16.data(), kIv16.data(), "aes128/ctr", 0);
         },
         I.bin, nullptr, false, 2, 4, 1},
        {"TDEA_File",
         [](const std::string& o, const std::string& i) {
             return TDEA_File(o.c_str(), i.c_str(), kKey24.data(), 0, "CBC", kIv8.data());
         },
         I.tdea, nullptr, true, 2, 4, 1},
        {"PEM_FileFromBinFile",
         [](const std::string& o, const std::string& i) {
             return PEM_FileFromBinFile(o.c_str(), i.c_str(), "X", 64);
         },
         I.bin, nullptr, false, -2, -4, -1},
        {"PEM_FileFromBinFileEx",
         [](const std::string& o, const std::string& i) {
             return PEM_FileFromBinFileEx(o.c_str(), i.c_str(), "X", 70, 0x20000);
         },
         I.bin, nullptr, false, -2, -4, -1},
        {"PEM_FileToBinFile",
         [](const std::string& o, const std::string& i) { return PEM_FileToBinFile(o.c_str(), i.c_str()); },
         I.pem, nullptr, false, -2, -4, -1},
        {"RNG_Test", [](const std::string& o, const std::string&) { return RNG_Test(o.c_str(), 0); }, "",
         nullptr, false, -202, -204, 0},
    };
}

class FileWriters : public ::testing::Test {
  protected:
    void SetUp() override {
        old_mask_ = umask(022);
        inputs();
        alarm(120);  // a writer that opens a FIFO would block for ever: end the program instead
    }
    void TearDown() override {
        alarm(0);
        umask(old_mask_);
    }

    // A fresh folder per writer and case.
    std::string folder(const Writer& w, const char* tag) {
        std::string name = std::string("w-") + tag + "-" + std::to_string(counter_++);
        std::string d = temp_path(name);
        EXPECT_EQ(mkdir(d.c_str(), 0700), 0) << w.name;
        return d;
    }

    mode_t old_mask_ = 022;
    int counter_ = 0;
};

mode_t mode_of(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST_F(FileWriters, WriteNewFileWithItsMode) {
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.name);
        std::string d = folder(w, "new"), out = d + "/out";
        ASSERT_EQ(w.run(out, w.in), 0);
        EXPECT_FALSE(read_file(out).empty());
        EXPECT_EQ(mode_of(out) & 07777, w.secret ? 0600u : 0644u);
        std::set<std::string> want{"out"};
        if (w.companion) want.insert(std::string("out") + w.companion);
        EXPECT_EQ(entries(d), want);
    }
}

TEST_F(FileWriters, ExistingFileOfAnotherIsReplacedByAFreshOne) {
    umask(0);
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.name);
        std::string d = folder(w, "repl"), out = d + "/out";
        write_file(out, std::string("someone else's file"));
        ASSERT_EQ(chmod(out.c_str(), 0644), 0);
        struct stat before, after;
        ASSERT_EQ(stat(out.c_str(), &before), 0);
        ASSERT_EQ(w.run(out, w.in), 0);
        ASSERT_EQ(stat(out.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_uid, geteuid());
        if (w.secret) {
            EXPECT_EQ(after.st_mode & 07777, 0600u);
        }
        EXPECT_NE(read_file(out), testutil::bytes_of("someone else's file"));
    }
}

TEST_F(FileWriters, FailureHalfWayLeavesTheOldFile) {
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.name);
        std::string d = folder(w, "fsize"), out = d + "/out";
        write_file(out, std::string("old content"));
        const auto before = entries(d);
        long r = with_file_limit(64, [&] { return w.run(out, w.in); });
        EXPECT_EQ(r, w.write);
        EXPECT_EQ(read_file(out), testutil::bytes_of("old content"));
        EXPECT_EQ(entries(d), before);
    }
}

TEST_F(FileWriters, TargetsThatAreNotRegularFilesAreRefused) {
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.name);
        std::string d = folder(w, "special");
        std::string dir = d + "/dir", fifo = d + "/fifo", link = d + "/link", victim = d + "/victim";
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        write_file(victim, std::string("victim"));
        ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
        const auto before = entries(d);
        EXPECT_EQ(w.run(dir, w.in), w.create);
        EXPECT_EQ(w.run(fifo, w.in), w.create);
        EXPECT_EQ(w.run(link, w.in), w.create);
        EXPECT_TRUE(S_ISDIR(mode_of(dir)));
        EXPECT_TRUE(entries(dir).empty());
        EXPECT_TRUE(S_ISFIFO(mode_of(fifo)));
        EXPECT_TRUE(S_ISLNK(mode_of(link)));
        EXPECT_EQ(read_file(victim), testutil::bytes_of("victim"));
        EXPECT_EQ(entries(d), before);
    }
}

TEST_F(FileWriters, MissingInputLeavesTheOutput) {
    for (const Writer& w : writers()) {
        if (w.in.empty()) continue;
        SCOPED_TRACE(w.name);
        std::string d = folder(w, "noin"), out = d + "/out";
        write_file(out, std::string("old content"));
        EXPECT_EQ(w.run(out, d + "/missing"), w.open);
        EXPECT_EQ(read_file(out), testutil::bytes_of("old content"));
        EXPECT_EQ(entries(d), std::set<std::string>{"out"});
    }
}

// A GCM file whose tag does not verify: nothing appears at the output name,
// an existing output stays, and a device node there is never touched.
TEST_F(FileWriters, GcmTagFailureTouchesNothing) {
    const Inputs& I = inputs();
    std::string d = temp_path("gcm-tamper");
    ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
    Bytes ct = read_file(I.gcm);
    ct.back() ^= 1;
    std::string bad = d + "/bad.gcm", out = d + "/out";
    write_file(bad, ct);
    auto dec = [&](const std::string& o) {
        return CIPHER_FileDecrypt(o.c_str(), bad.c_str(), kKey16.data(), 16, kIv12.data(), 12, "aes128-gcm",
                                  0);
    };
    EXPECT_EQ(dec(out), -15);
    EXPECT_EQ(entries(d), std::set<std::string>{"bad.gcm"});
    write_file(out, std::string("keep"));
    EXPECT_EQ(dec(out), -15);
    EXPECT_EQ(read_file(out), testutil::bytes_of("keep"));
    EXPECT_EQ(entries(d), (std::set<std::string>{"bad.gcm", "out"}));
    // A null device of the test's own (root only): a faulty build must never
    // get the chance to delete the system's /dev/null.
    std::string dev = d + "/null";
    if (mknod(dev.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) return;
    EXPECT_EQ(dec(dev), -2);
    EXPECT_TRUE(S_ISCHR(mode_of(dev)));
}

// Input and output naming one file (also through a link) stay refused.
TEST_F(FileWriters, SameFileForInputAndOutputIsRefused) {
    const Inputs& I = inputs();
    std::string link = temp_path("same-link");
    ASSERT_EQ(symlink(I.bin.c_str(), link.c_str()), 0);
    Bytes before = read_file(I.bin);
    for (const std::string& out : {I.bin, link}) {
        EXPECT_EQ(CIPHER_FileEncrypt(out.c_str(), I.bin.c_str(), kKey16.data(), 16, kIv16.data(), 16,
                                     "aes128/cbc", 0),
                  -12);
        EXPECT_EQ(CIPHER_FileEncrypt(out.c_str(), I.bin.c_str(), kKey16.data(), 16, kIv12.data(), 12,
                                     "aes128-gcm", 0),
                  -12);
    }
    EXPECT_EQ(read_file(I.bin), before);
}

}  // namespace
