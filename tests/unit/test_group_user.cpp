#include "model/BMGroup.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"

#include <gtest/gtest.h>

TEST(BMGroup, NewGroupDefaults)
{
    auto group = BMGroup::newGroup();
    EXPECT_EQ(group->mGroupUID().size(), 16);
    EXPECT_FALSE(TVXUID::isWellKnownUID(group->mGroupUID()));
    EXPECT_NE(group->mGroupUID(), BMGroup::newGroup()->mGroupUID());
    EXPECT_TRUE(group->mGroupName().isEmpty());
    EXPECT_EQ(group->mRecordLevelPermissions(), 0);
    EXPECT_EQ(group->mTypeLevelPermissions(), 0);
    EXPECT_FALSE(group->mPreferencePermissions());
    EXPECT_TRUE(group->mUserMembersArray().isEmpty());
    EXPECT_TRUE(group->mSubGroupsUID().isEmpty());
}

TEST(BMGroup, SharedUnfiledGroup)
{
    auto unfiled = BMGroup::UnfiledGroup();
    EXPECT_EQ(unfiled, BMGroup::UnfiledGroup());
    EXPECT_EQ(unfiled->mGroupUID(), "0000000000000000");
    EXPECT_EQ(unfiled->mGroupName(), "Unfiled");
}

TEST(BMGroup, AddMemberKeepsOneEntryPerUser)
{
    auto group = BMGroup::newGroup(); // no member list set by the caller yet
    auto user = TVXUser::createUser();
    auto other = TVXUser_Admin::createUser();
    group->addMember(*user);
    group->addMember(*user);
    group->addMember(*other);
    group->addMember(user->mUserID());
    EXPECT_EQ(group->mUserMembersArray(), QStringList({user->mUserID(), other->mUserID()}));
}

TEST(BMGroup, IdentifierIsKeptAsItsOwnCopy)
{
    BMGroup group;
    QString text = QStringLiteral("00000000000000AB");
    group.setMGroupUID(text);
    text[0] = QLatin1Char('F');
    EXPECT_EQ(group.mGroupUID(), "00000000000000AB");
}

TEST(TVXUser, DefaultsBeforeServerValues)
{
    auto user = TVXUser::createUser();
    EXPECT_EQ(user->mUserID().size(), 16);
    EXPECT_NE(user->mUserID(), TVXUser::createUser()->mUserID());
    EXPECT_TRUE(user->mUsername().isNull());
    EXPECT_TRUE(user->mPassword().isNull());
    EXPECT_TRUE(user->mUsersGroupArray().isEmpty());
    EXPECT_FALSE(user->mDescription().isNull());
    EXPECT_TRUE(user->mDescription().isEmpty());
    EXPECT_EQ(user->mPlatformName(), "Mac-Standalone");

    EXPECT_EQ(user->mGroupPermissionsBit(), 7);
    EXPECT_EQ(user->mTypePermissionsBit(), 7);
    EXPECT_EQ(user->mDataPermissionsBit(), 7);
    EXPECT_EQ(user->mRecordPermissionsBit(), 7);
    EXPECT_TRUE(user->mIsNotAllowedToChangePassword());
    EXPECT_TRUE(user->mIsAccountDisabled());

    EXPECT_FALSE(user->mAutoLOck());
    EXPECT_FALSE(user->mAutoSubmit());
    EXPECT_TRUE(user->mCaseInsensitiveSearch());
    EXPECT_TRUE(user->mWholeWordSearch());
    EXPECT_TRUE(user->mMinimizeToTray());
    EXPECT_TRUE(user->mSearchColoum());
    EXPECT_TRUE(user->mClipBoardOnExit());
    EXPECT_TRUE(user->mShowDetailOnPane());
    EXPECT_TRUE(user->mAutoLogin());
    EXPECT_TRUE(user->mClearClipboardState());

    EXPECT_EQ(user->mRowColor(), QColor(255, 255, 255));
    EXPECT_EQ(user->mRowColor().alphaF(), 1.0f);
    EXPECT_EQ(user->mTextFont().family(), "LucidaGrande");
    EXPECT_EQ(user->mTextFont().pointSize(), 13);
    EXPECT_EQ(user->mCurrentGroup(), "000000000000FFFF");
    EXPECT_EQ(user->mCurrentType(), "000000000000FFFF");
    EXPECT_EQ(user->mDetailPanelWidth(), 300);
    EXPECT_EQ(user->mPwdGenFlag(), 33);
    EXPECT_EQ(user->mLoginAttemptCount(), 0);
    EXPECT_EQ(user->mLastView(), 0);
    EXPECT_EQ(user->mHintQuestionNumber(), 0);
    EXPECT_EQ(user->mClearClipBoardTimer(), 0);
    EXPECT_EQ(user->mExportImportTip(), 0u);
    EXPECT_EQ(user->mBackupRestoreTip(), 0u);
    EXPECT_FALSE(user->mSortingInfo().has_value());
    EXPECT_TRUE(user->mHintAnswer().isNull());
    EXPECT_TRUE(user->mHintEntered().isNull());
    EXPECT_TRUE(user->mColoumWidthArray().isEmpty());
    EXPECT_EQ(user->mLockTime(), 10);
    EXPECT_EQ(user->mMAxLockTime(), 60);
    EXPECT_EQ(user->mColoumInfo(), 9223u);
    EXPECT_TRUE(user->mMainViewRectInfo().isEmpty());
    EXPECT_EQ(user->mWindowPosition(), TVXUser::defaultWindowPosition(TVXUser::mainScreenSize()));
}

TEST(TVXUser, DefaultWindowFrameIsCentredAtLeast1030Wide)
{
    EXPECT_EQ(TVXUser::defaultWindowPosition(QSizeF(1280, 800)), QRectF(125, 120, 1030, 560));
    EXPECT_EQ(TVXUser::defaultWindowPosition(QSizeF(1920, 1200)), QRectF(288, 180, 1344, 840));
}

TEST(TVXUser, PermissionChecksPassOnAnyGivenBit)
{
    TVXUser user;
    user.setMRecordPermissionsBit(2);
    EXPECT_TRUE(user.checkRecordPermission(6));
    EXPECT_FALSE(user.checkRecordPermission(1));
    user.setMRecordPermissionsBit(6);
    EXPECT_FALSE(user.checkRecordPermission(1));
    EXPECT_FALSE(user.checkRecordPermission(0));

    user.setMGroupPermissionsBit(kPermissionDelete);
    EXPECT_TRUE(user.checkGroupPermission(kPermissionDelete));
    EXPECT_FALSE(user.checkGroupPermission(kPermissionAdd | kPermissionEdit));
    user.setMTypePermissionsBit(0x8000);
    EXPECT_TRUE(user.checkTypePermission(0x8000));
    EXPECT_FALSE(user.checkTypePermission(7));
}

TEST(TVXUser_Admin, NewAccountDefaults)
{
    auto account = TVXUser_Admin::createUser();
    EXPECT_EQ(account->mUserID().size(), 16);
    EXPECT_NE(account->mUserID(), TVXUser_Admin::createUser()->mUserID());
    EXPECT_EQ(account->mPlatformName(), "Mac-Standalone");
    EXPECT_TRUE(account->mUsersGroupArray().isEmpty());
    EXPECT_FALSE(account->mIsNotAllowedToChangePassword());
    EXPECT_FALSE(account->mIsAccountDisabled());
    EXPECT_EQ(account->mGroupPermissionsBit(), 0);
    EXPECT_EQ(account->mTypePermissionsBit(), 0);
    EXPECT_EQ(account->mDataPermissionsBit(), 0);
    EXPECT_EQ(account->mRecordPermissionsBit(), 0);
    EXPECT_FALSE(account->isAdministrator());
    for (const QString* text : {&account->mUsername(), &account->mPassword(), &account->mDescription(),
                                &account->mFullName(), &account->mEmail(), &account->mPhoneNo()}) {
        EXPECT_FALSE(text->isNull());
        EXPECT_TRUE(text->isEmpty());
    }
}
