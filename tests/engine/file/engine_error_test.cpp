#include "engine/file/engine_error.h"

#include <gtest/gtest.h>

namespace abonex {
namespace {

TEST(EngineErrorMessage, KnownCodesReadTextDashPath) {
    EXPECT_EQ(engineErrorMessage(2, 1107, "/data/PHONE.MDX"), "File not found - /data/PHONE.MDX");
    EXPECT_EQ(engineErrorMessage(32, 1107, "/d/x.dbf"), "File access denied - /d/x.dbf");
    EXPECT_EQ(engineErrorMessage(33, 0, "t"), "Record locked by another user - t");
    EXPECT_EQ(engineErrorMessage(1002, 1207, "/d/PHONE.DBF"),
              "dBase record request beyond EOF - /d/PHONE.DBF");
    EXPECT_EQ(engineErrorMessage(1011, 0, ""), "Number too large to fit in field - ");
}

TEST(EngineErrorMessage, UnknownCodesCarrySubCodeAndCarriageReturn) {
    EXPECT_EQ(engineErrorMessage(221, 1101, "/d/a.dbf"),
              "Engine Error 221, SubCode 1101.\r /d/a.dbf>1101");
    EXPECT_EQ(engineErrorMessage(112, -7, "/d/a.dbf"), "Engine Error 112.\r /d/a.dbf>-7");
    EXPECT_EQ(engineErrorMessage(1269, 12, ""), "Engine Error 1269, SubCode 12.\r");
}

TEST(EngineErrorMessage, RaisedErrorKeepsItsParts) {
    try {
        raiseEngineError(1003, 1298, "/d/PHONE.DBF->XX");
        FAIL() << "no exception";
    } catch (const EEngineError& error) {
        EXPECT_EQ(error.code(), 1003);
        EXPECT_EQ(error.subCode(), 1298);
        EXPECT_EQ(error.text(), "/d/PHONE.DBF->XX");
        EXPECT_STREQ(error.what(), "dBase field name is invalid - /d/PHONE.DBF->XX");
    }
    try {
        raiseLockWaitError(33, "/d/PHONE.MDX");
        FAIL() << "no exception";
    } catch (const EEngineError& error) {
        EXPECT_STREQ(error.what(), "Error 33 in Lock of /d/PHONE.MDX");
    }
}

TEST(EngineErrorMessage, OperatingSystemErrorsMapToEngineNumbers) {
    EXPECT_EQ(errnoToEngineCode(ENOENT), 2);
    EXPECT_EQ(errnoToEngineCode(ENOTDIR), 3);
    EXPECT_EQ(errnoToEngineCode(EMFILE), 4);
    EXPECT_EQ(errnoToEngineCode(EACCES), 5);
    EXPECT_EQ(errnoToEngineCode(EPERM), 5);
    EXPECT_EQ(errnoToEngineCode(EAGAIN), 33);
    EXPECT_EQ(errnoToEngineCode(EROFS), 150);
    EXPECT_EQ(errnoToEngineCode(EIO, false), 100);
    EXPECT_EQ(errnoToEngineCode(EIO, true), 101);
}

}  // namespace
}  // namespace abonex
