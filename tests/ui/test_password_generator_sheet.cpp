// The password generator sheet's options, the strength estimate and the
// strength bar's levels.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "support/UiTestSupport.h"
#include "views/BMPasswordStrengthMeter.h"
#include "windows/BMPasswordWindowController.h"

using namespace passwordsheet;

namespace {

TEST(PasswordStrength, EstimateFromSetsAndLength)
{
    EXPECT_FLOAT_EQ(strengthFor(5, 20), 1.0f);
    EXPECT_FLOAT_EQ(strengthFor(3, 8), 0.5f);
    EXPECT_FLOAT_EQ(strengthFor(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(strengthFor(5, 63), 2.075f); // the bar clamps it
}

TEST(PasswordStrength, FlagsBetweenBoxesAndTheStoredByte)
{
    EXPECT_EQ(flagsFromChecks({true, false, true, false, false}, false), 5);
    EXPECT_EQ(flagsFromChecks({true, true, true, true, true}, true), 63);
    EXPECT_EQ(flagsFromChecks({false, false, false, false, false}, true), 32);
    const CharacterSetChecks all{true, true, true, true, true};
    EXPECT_EQ(checksFromStoredFlags(31), all);
    const CharacterSetChecks upperAndSymbols{false, true, false, true, false};
    EXPECT_EQ(checksFromStoredFlags(2 | 8 | 32), upperAndSymbols); // pronounceable is not a box here
    EXPECT_TRUE(pronounceableAllowed({true, true, true, false, false}));
    EXPECT_FALSE(pronounceableAllowed({true, false, false, true, false}));
    EXPECT_FALSE(pronounceableAllowed({true, false, false, false, true}));
}

TEST(StrengthMeter, LevelsColoursAndPieces)
{
    EXPECT_EQ(BMPasswordStrengthMeter::colourNameForProgress(0.0f), "red");
    EXPECT_EQ(BMPasswordStrengthMeter::colourNameForProgress(0.2499f), "red");
    EXPECT_EQ(BMPasswordStrengthMeter::colourNameForProgress(0.25f), "orange");
    EXPECT_EQ(BMPasswordStrengthMeter::colourNameForProgress(0.5f), "yellow");
    EXPECT_EQ(BMPasswordStrengthMeter::colourNameForProgress(0.75f), "green");

    BMPasswordStrengthMeter meter;
    meter.setStrenth(1.4f);
    EXPECT_FLOAT_EQ(meter.mProgress(), 1.0f);
    meter.setStrenth(-0.3f);
    EXPECT_FLOAT_EQ(meter.mProgress(), 0.0f);

    const QSizeF size(200, 21);
    const auto empty = BMPasswordStrengthMeter::pieces(size, 0.0f);
    ASSERT_EQ(empty.size(), 3); // the white track only
    EXPECT_EQ(empty[0].imageName, "whiteProgressLeft.png");
    EXPECT_EQ(empty[1].rect, QRectF(4.5, 6, 192, 9));
    EXPECT_EQ(empty[2].rect, QRectF(195.5, 6, 4.5, 9));

    const auto full = BMPasswordStrengthMeter::pieces(size, 1.0f);
    ASSERT_EQ(full.size(), 6);
    EXPECT_EQ(full[3].imageName, "greenProgressLeft.png");
    EXPECT_EQ(full[5].imageName, "greenProgressRight.png");
    EXPECT_EQ(full[5].rect.x(), 195.5);

    const auto quarter = BMPasswordStrengthMeter::pieces(size, 0.25f);
    EXPECT_EQ(quarter[4].imageName, "orangeProgressMid.png");
    EXPECT_EQ(quarter[4].rect.width(), 42);
    EXPECT_EQ(quarter[5].rect.x(), 45.5);

    // A fill too short for a middle gets none rather than a negative one.
    const auto tiny = BMPasswordStrengthMeter::pieces(size, 0.02f);
    EXPECT_EQ(tiny[4].rect.width(), 0);
    EXPECT_FALSE(BMPasswordStrengthMeter::pieceImage("redProgressMid.png").isNull());
}

class GeneratorSheet : public ::testing::Test {
protected:
    BMPasswordWindowController::Backend backend()
    {
        return {[this] { return storedFlags; }, [this](uint8_t f) { storedFlags = f; ++stores; },
                [this](uint16_t flags, uint16_t length) {
                    lastFlags = flags;
                    lastLength = length;
                    if ((flags & 31) == 0)
                        return QString();
                    return QStringLiteral("pw%1-%2").arg(++made).arg(length);
                }};
    }
    CharacterSetChecks boxes(BMPasswordWindowController& sheet)
    {
        CharacterSetChecks out{};
        for (int i = 0; i < 5; ++i)
            out[static_cast<size_t>(i)] = sheet.characterSetBox(i)->isChecked();
        return out;
    }
    float bar(BMPasswordWindowController& sheet) { return sheet.strengthIndicator()->mProgress(); }

    uint8_t storedFlags = 1 | 4;
    int stores = 0;
    int made = 0;
    uint16_t lastFlags = 0;
    uint16_t lastLength = 0;
    tvxtest::ModalScript script;
};

TEST_F(GeneratorSheet, OpensWithTheStoredSetsAndTheirProposalsNoneChosen)
{
    BMPasswordWindowController sheet(backend());
    const CharacterSetChecks lowerAndDigits{true, false, true, false, false};
    EXPECT_EQ(boxes(sheet), lowerAndDigits);
    script.then([&](QWidget* window) {
        EXPECT_EQ(window->objectName(), "PasswordController");
        EXPECT_EQ(sheet.passwordList()->count(), 10);
        EXPECT_EQ(lastFlags, 1 | 4 | 32);
        EXPECT_EQ(stores, 0); // opening stores nothing
        EXPECT_TRUE(sheet.pronounceableBox()->isChecked());
        EXPECT_TRUE(sheet.pronounceableBox()->isEnabled());
        sheet.okButton()->click(); // nothing chosen
        return *sheet.requestedEnd();
    });
    EXPECT_EQ(sheet.displayPasswordGenerationPanel(nullptr), "");
    EXPECT_EQ(stores, 1); // OK stores the flags
    EXPECT_EQ(storedFlags, 1 | 4 | 32);
}

TEST_F(GeneratorSheet, SymbolsOrInternationalTurnPronounceableOff)
{
    BMPasswordWindowController sheet(backend());
    sheet.characterSetChange();
    EXPECT_TRUE(sheet.pronounceableBox()->isChecked());
    sheet.characterSetBox(kSymbolsBox)->click();
    EXPECT_TRUE(sheet.characterSetBox(kSymbolsBox)->isChecked());
    EXPECT_FALSE(sheet.pronounceableBox()->isChecked());
    EXPECT_FALSE(sheet.pronounceableBox()->isEnabled());
    EXPECT_EQ(sheet.presetPopup()->currentIndex(), 3); // "Custom"
    sheet.characterSetBox(kSymbolsBox)->click();
    sheet.characterSetBox(kInternationalBox)->setChecked(true);
    sheet.characterSetChange();
    EXPECT_FALSE(sheet.pronounceableBox()->isEnabled());
}

TEST_F(GeneratorSheet, PresetsSetTheBoxesAndTheBar)
{
    BMPasswordWindowController sheet(backend());
    sheet.lengthField()->setValue(20);
    sheet.presetPopup()->setCurrentIndex(0);
    sheet.strengthChange();
    EXPECT_EQ(boxes(sheet), (CharacterSetChecks{true, true, true, true, true}));
    EXPECT_FALSE(sheet.pronounceableBox()->isChecked());
    EXPECT_FALSE(sheet.pronounceableBox()->isEnabled());
    EXPECT_FLOAT_EQ(bar(sheet), 1.0f);

    sheet.presetPopup()->setCurrentIndex(1);
    sheet.strengthChange();
    EXPECT_EQ(boxes(sheet), (CharacterSetChecks{true, false, true, true, false}));
    EXPECT_TRUE(sheet.pronounceableBox()->isChecked());
    EXPECT_FALSE(sheet.pronounceableBox()->isEnabled());
    sheet.lengthField()->setValue(8);
    EXPECT_FLOAT_EQ(bar(sheet), 0.5f); // three sets, eight characters
    // Unchecking symbols afterwards turns pronounceable on and enables it.
    sheet.characterSetBox(kSymbolsBox)->click();
    EXPECT_TRUE(sheet.pronounceableBox()->isChecked());
    EXPECT_TRUE(sheet.pronounceableBox()->isEnabled());
    EXPECT_FLOAT_EQ(bar(sheet), strengthFor(2, 8));
}

TEST_F(GeneratorSheet, GenerateMakesTenAndTheChosenOneComesBack)
{
    BMPasswordWindowController sheet(backend());
    sheet.lengthField()->setValue(16);
    script.then([&](QWidget*) {
        sheet.generateButton()->click();
        EXPECT_EQ(sheet.passwordList()->count(), 10);
        EXPECT_EQ(lastLength, 16);
        EXPECT_EQ(lastFlags, 1 | 4 | 32);
        EXPECT_EQ(storedFlags, 1 | 4 | 32); // stored at each Generate
        sheet.passwordList()->setCurrentRow(4);
        emit sheet.passwordList()->itemDoubleClicked(sheet.passwordList()->item(4)); // chooses, as OK does
        return *sheet.requestedEnd();
    });
    EXPECT_EQ(sheet.displayPasswordGenerationPanel(nullptr), "pw15-16"); // after the ten of the opening
    EXPECT_TRUE(sheet.mGenratedPasswordList().isEmpty());
    EXPECT_EQ(sheet.passwordList()->count(), 0);
}

TEST_F(GeneratorSheet, NoSetsGenerateNothingAndCancelKeepsTheLastStoredFlags)
{
    BMPasswordWindowController sheet(backend());
    script.then([&](QWidget*) {
        for (int i = 0; i < 5; ++i)
            sheet.characterSetBox(i)->setChecked(false);
        sheet.generatePassword();
        EXPECT_EQ(sheet.passwordList()->count(), 0);
        sheet.characterSetBox(0)->setChecked(true);
        sheet.generatePassword();
        EXPECT_EQ(sheet.passwordList()->count(), 10);
        const uint8_t atGenerate = storedFlags;
        sheet.characterSetBox(1)->setChecked(true); // changed after, then cancelled
        sheet.passwordList()->setCurrentRow(0);
        sheet.cancelButton()->click();
        EXPECT_EQ(storedFlags, atGenerate);
        return *sheet.requestedEnd();
    });
    EXPECT_EQ(sheet.displayPasswordGenerationPanel(nullptr), "");
    EXPECT_EQ(storedFlags, 1 | 32);
}

} // namespace
