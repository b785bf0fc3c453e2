#pragma once
// The hint questions, by number (0: none chosen), and the keys of a hint dictionary.
#include <QString>
#include <QStringList>

inline const QString kHintQuestionNone = QStringLiteral("No hint set ?");
inline const QString kHintQuestionBornIn = QStringLiteral("What city were you born in?");
inline const QString kHintQuestionMotherName = QStringLiteral("What is your mother's maiden name?");
inline const QString kHintQuestionFatherName = QStringLiteral("What is your father's middle name?");
inline const QString kHintQuestionFavColor = QStringLiteral("What is your favorite color?");
inline const QString kHintQuestionPetName = QStringLiteral("What is your pet's name?");
inline const QString kHintQuestionFirstCar = QStringLiteral("What's the name of your first car?");

inline const QStringList kQuestions = {kHintQuestionNone,      kHintQuestionBornIn,   kHintQuestionMotherName,
                                       kHintQuestionFatherName, kHintQuestionFavColor, kHintQuestionPetName,
                                       kHintQuestionFirstCar};

inline const QString kUserPasswordHintQuestionNumber = QStringLiteral("UserPasswordHintQuestionNumber");
inline const QString kUserPasswordHintAnswer = QStringLiteral("UserPasswordHintAnswer");
inline const QString kUserPasswordHint = QStringLiteral("UserPasswordHint");

// Split views whose layouts are kept on this computer.
inline const QString kMainSplitViewAutosaveName = QStringLiteral("Main SplitView Autosave Key");
inline const QString kSubSplitViewAutosaveName = QStringLiteral("Sub SplitView Autosave Key");
inline const QString kSmartTypeSplitViewAutosaveName = QStringLiteral("SmartType SplitView Autosave Key");
