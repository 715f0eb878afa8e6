#include "GreetingDatabase.h"
#include "Level.h"
#include "SpeechSynth.h"
#include "WavFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <optional>

namespace levora::demohost {
namespace {

namespace fs = std::filesystem;
using levora::test::TempDir;
using levora::test::writeFile;
using Status = SyncOutcome::Status;

const std::string kFolder = "C:\\Talvio\\Stream Files\\";

std::string speech(uint64_t seed, double gainDb, Encoding e = Encoding::Pcm16) {
    SpeechParams params;
    params.seconds = 1.0;
    params.seed = seed;
    return encodeWav(toPcm16(applyGain(synthesizeSpeech(params), gainDb)), 8000, e);
}

struct DbRow {
    int64_t size = 0, modified = 0;
    std::optional<double> duration, level;
};

class GreetingDatabaseTest : public ::testing::Test {
protected:
    fs::path stream() const { return m_dir.path() / "Stream Files"; }
    fs::path dbFile() const { return m_dir.path() / "talvio.db"; }

    SyncOutcome sync(int busyMs = 0) {
        GreetingDatabase db(dbFile(), busyMs);
        return db.sync(stream(), kFolder);
    }

    std::map<std::string, DbRow> rows() {
        std::map<std::string, DbRow> out;
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open_v2(dbFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT path, size, modified, duration, active_level FROM greetings", -1, &st,
                                     nullptr),
                  SQLITE_OK);
        while (sqlite3_step(st) == SQLITE_ROW) {
            DbRow r;
            r.size = sqlite3_column_int64(st, 1);
            r.modified = sqlite3_column_int64(st, 2);
            if (sqlite3_column_type(st, 3) != SQLITE_NULL)
                r.duration = sqlite3_column_double(st, 3);
            if (sqlite3_column_type(st, 4) != SQLITE_NULL)
                r.level = sqlite3_column_double(st, 4);
            out[reinterpret_cast<const char*>(sqlite3_column_text(st, 0))] = r;
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }

    static double levelOf(const fs::path& file) {
        const auto a = readAudio(file);
        return measureSpeech(a->samples, a->sampleRate).level;
    }

    static void expectCounts(const SyncOutcome& r, int inserted, int updated, int deleted, int unchanged) {
        EXPECT_EQ(r.status, Status::Done) << r.message;
        EXPECT_EQ(r.counts.inserted, inserted);
        EXPECT_EQ(r.counts.updated, updated);
        EXPECT_EQ(r.counts.deleted, deleted);
        EXPECT_EQ(r.counts.unchanged, unchanged);
    }

    TempDir m_dir;
};

TEST_F(GreetingDatabaseTest, OneRowPerRecordingDirectlyInTheFolder) {
    writeFile(stream() / "greeting_1001_std.wav", speech(1, 0));
    writeFile(stream() / "voicename_1001.WAV", speech(2, -6, Encoding::MuLaw));
    writeFile(stream() / "streamfiles.idx", "not a recording");
    writeFile(stream() / "old" / "greeting_0999_std.wav", speech(3, 0));
    writeFile(stream() / "broken.wav", "RIFF but not really");

    expectCounts(sync(), 3, 0, 0, 0);
    const auto r = rows();
    ASSERT_EQ(r.size(), 3u);
    const DbRow& g = r.at(kFolder + "greeting_1001_std.wav");
    EXPECT_EQ(g.size, static_cast<int64_t>(fs::file_size(stream() / "greeting_1001_std.wav")));
    ASSERT_TRUE(g.duration && g.level);
    EXPECT_NEAR(*g.duration, 1.0, 1e-9);
    EXPECT_NEAR(*g.level, levelOf(stream() / "greeting_1001_std.wav"), 1e-9);
    EXPECT_TRUE(r.at(kFolder + "voicename_1001.WAV").level.has_value());
    // A file that cannot be decoded still has its row, without audio facts.
    EXPECT_FALSE(r.at(kFolder + "broken.wav").duration.has_value());
    EXPECT_FALSE(r.at(kFolder + "broken.wav").level.has_value());
}

TEST_F(GreetingDatabaseTest, InsertsNewUpdatesChangedDeletesGone) {
    writeFile(stream() / "a.wav", speech(1, 0));
    writeFile(stream() / "b.wav", speech(2, 0));
    writeFile(stream() / "c.wav", speech(3, 0));
    expectCounts(sync(), 3, 0, 0, 0);
    expectCounts(sync(), 0, 0, 0, 3);
    const double before = *rows().at(kFolder + "b.wav").level;

    fs::remove(stream() / "a.wav");
    writeFile(stream() / "b.wav", speech(2, -6)); // levelled: same size, new content
    writeFile(stream() / "d.wav", speech(4, 0));
    expectCounts(sync(), 1, 1, 1, 1);
    const auto r = rows();
    EXPECT_EQ(r.count(kFolder + "a.wav"), 0u);
    EXPECT_EQ(r.count(kFolder + "d.wav"), 1u);
    EXPECT_NEAR(*r.at(kFolder + "b.wav").level, before - 6, 0.05);
}

// A restore copies the backup back with its old time stamp and the same size; the content
// decides, not the time.
TEST_F(GreetingDatabaseTest, ARestoredFileIsMeasuredAgain) {
    const fs::path b = stream() / "b.wav";
    const std::string original = speech(2, 0);
    writeFile(b, original);
    const auto stamp = fs::last_write_time(b);
    expectCounts(sync(), 1, 0, 0, 0);
    const double originalLevel = *rows().at(kFolder + "b.wav").level;

    writeFile(b, speech(2, 5));
    expectCounts(sync(), 0, 1, 0, 0);
    EXPECT_NEAR(*rows().at(kFolder + "b.wav").level, originalLevel + 5, 0.05);

    writeFile(b, original);
    fs::last_write_time(b, stamp);
    expectCounts(sync(), 0, 1, 0, 0);
    EXPECT_NEAR(*rows().at(kFolder + "b.wav").level, originalLevel, 1e-9);

    // Only the time changed: the row follows, the level stays.
    fs::last_write_time(b, stamp + std::chrono::seconds(10));
    expectCounts(sync(), 0, 1, 0, 0);
    EXPECT_NEAR(*rows().at(kFolder + "b.wav").level, originalLevel, 1e-9);
}

TEST_F(GreetingDatabaseTest, ANameThatOnlyChangesCaseKeepsItsRow) {
    writeFile(stream() / "greeting_1001_std.wav", speech(1, 0));
    expectCounts(sync(), 1, 0, 0, 0);
    fs::rename(stream() / "greeting_1001_std.wav", stream() / "GREETING_1001_STD.wav");
    expectCounts(sync(), 0, 1, 0, 0);
    const auto r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r.begin()->first, kFolder + "GREETING_1001_STD.wav");
}

TEST_F(GreetingDatabaseTest, AMissingFolderFailsAndKeepsTheRows) {
    writeFile(stream() / "a.wav", speech(1, 0));
    expectCounts(sync(), 1, 0, 0, 0);
    fs::rename(stream(), m_dir.path() / "elsewhere");
    const SyncOutcome r = sync();
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_NE(r.message.find("Stream Files"), std::string::npos) << r.message;
    EXPECT_EQ(rows().size(), 1u);
}

TEST_F(GreetingDatabaseTest, AnotherWriterMakesItBusyUntilItIsDone) {
    writeFile(stream() / "a.wav", speech(1, 0));
    expectCounts(sync(), 1, 0, 0, 0);
    writeFile(stream() / "b.wav", speech(2, 0));

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dbFile().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const SyncOutcome busy = sync(20);
    EXPECT_EQ(busy.status, Status::Busy) << busy.message;
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    EXPECT_EQ(rows().size(), 1u); // nothing half done

    expectCounts(sync(), 1, 0, 0, 1);
}

TEST_F(GreetingDatabaseTest, ADatabaseThatIsNotOneFails) {
    writeFile(stream() / "a.wav", speech(1, 0));
    writeFile(dbFile(), std::string(4096, 'x'));
    const SyncOutcome r = sync();
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(levora::test::readFile(dbFile()), std::string(4096, 'x'));
}

TEST(ContentHash, DiffersForAnyChangedByte) {
    std::string bytes(1001, 'a');
    const uint64_t h = contentHash(bytes);
    for (size_t i : {size_t{0}, size_t{7}, size_t{8}, size_t{999}, size_t{1000}}) {
        std::string changed = bytes;
        changed[i] = 'b';
        EXPECT_NE(contentHash(changed), h) << i;
    }
    EXPECT_NE(contentHash(bytes + '\0'), h);
    EXPECT_EQ(contentHash(bytes), h);
}

} // namespace
} // namespace levora::demohost
