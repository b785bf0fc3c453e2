#pragma once
// A record type: the template naming a record's ten fields, its icon and
// which fields are masked on screen.
#include "model/Accessors.h"
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

inline constexpr int32_t kDefaultIconID = 31;
inline constexpr int kNumberOfFields = 10;

// A field reached by number through a class's table of getters or setters
// (index 0 is field 1); outside the ten it reads as empty and writes nothing.
template <class T>
const QString& fieldThroughTable(const T& object, int index)
{
    static const QString none;
    if (index < 0 || index >= kNumberOfFields)
        return none;
    return (object.*T::getFunctionsArray()[static_cast<size_t>(index)])();
}

template <class T>
void setFieldThroughTable(T& object, int index, const QString& value)
{
    if (index < 0 || index >= kNumberOfFields)
        return;
    (object.*T::setFunctionsArray()[static_cast<size_t>(index)])(value);
}

inline constexpr const char* kField1 = "Field 1";
inline constexpr const char* kField2 = "Field 2";
inline constexpr const char* kField3 = "Field 3";
inline constexpr const char* kField4 = "Field 4";
inline constexpr const char* kField5 = "Field 5";
inline constexpr const char* kField6 = "Field 6";
inline constexpr const char* kField7 = "Field 7";
inline constexpr const char* kField8 = "Field 8";
inline constexpr const char* kField9 = "Field 9";
inline constexpr const char* kField10 = "Field 10";
inline constexpr std::array<const char*, kNumberOfFields> kDefaultFieldNames = {
    kField1, kField2, kField3, kField4, kField5, kField6, kField7, kField8, kField9, kField10};

// Shown through the translation table (context kModelTranslationContext).
inline constexpr const char* kUnfiled = "Unfiled";
inline constexpr const char* kModelTranslationContext = "TVXModel";

// Identifier of the placeholder record and type; deliberately not a valid identifier.
inline const QString kDummyUID = QStringLiteral("000000000");

// The localised "Unfiled".
QString TVXLocalizedUnfiled();

class TVXType {
public:
    using Getter = const QString& (TVXType::*)() const;
    using Setter = void (TVXType::*)(const QString&);

    // Identifier, name, group none; icon and mask 0; default field names.
    TVXType();
    TVXType(const TVXType&) = delete;
    TVXType& operator=(const TVXType&) = delete;

    // New identifier, empty name, icon 31, mask 0, default field names.
    static std::shared_ptr<TVXType> createType();
    // The shared unfiled type ("0000000000000000", "Unfiled", icon 31).
    static std::shared_ptr<TVXType> UnfiledType();
    // The shared placeholder ("000000000", icon 0, every field name empty).
    static std::shared_ptr<TVXType> dummyType();
    // Same identifier, name, icon, mask and field names; the selected group is not copied.
    static std::shared_ptr<TVXType> createCopyforType(const TVXType& type);

    // Index i reaches field name i + 1.
    static const std::array<Getter, kNumberOfFields>& getFunctionsArray();
    static const std::array<Setter, kNumberOfFields>& setFunctionsArray();
    // Field name i + 1 through the tables; out-of-range indexes give an empty text / do nothing.
    const QString& fieldAtIndex(int index) const;
    void setFieldAtIndex(int index, const QString& name);

    // Name, ten field names, icon and mask equal; the identifier is not compared.
    bool isEqualToType(const TVXType& other) const;
    // Icon, mask or a field name differ; the name is not compared.
    bool isNotEqualToCustomType(const TVXType& other) const;

    // Whether field number (1 to 10) is masked.
    bool isFieldMasked(int fieldNumber) const;

    TVX_ACCESSORS(QString, mTypeUID, setMTypeUID, m_typeUID)
    TVX_ACCESSORS(QString, mTypeName, setMTypeName, m_typeName)
    TVX_ACCESSORS(QString, mSelectedGroupUID, setMSelectedGroupUID, m_selectedGroupUID)
    TVX_ACCESSORS(int32_t, mTypeIconID, setMTypeIconID, m_typeIconID)
    TVX_ACCESSORS(int32_t, mTypeMask, setMTypeMask, m_typeMask)

    const QString& mField1() const { return m_fields[0]; }
    const QString& mField2() const { return m_fields[1]; }
    const QString& mField3() const { return m_fields[2]; }
    const QString& mField4() const { return m_fields[3]; }
    const QString& mField5() const { return m_fields[4]; }
    const QString& mField6() const { return m_fields[5]; }
    const QString& mField7() const { return m_fields[6]; }
    const QString& mField8() const { return m_fields[7]; }
    const QString& mField9() const { return m_fields[8]; }
    const QString& mField10() const { return m_fields[9]; }
    void setMField1(const QString& v) { m_fields[0] = v; }
    void setMField2(const QString& v) { m_fields[1] = v; }
    void setMField3(const QString& v) { m_fields[2] = v; }
    void setMField4(const QString& v) { m_fields[3] = v; }
    void setMField5(const QString& v) { m_fields[4] = v; }
    void setMField6(const QString& v) { m_fields[5] = v; }
    void setMField7(const QString& v) { m_fields[6] = v; }
    void setMField8(const QString& v) { m_fields[7] = v; }
    void setMField9(const QString& v) { m_fields[8] = v; }
    void setMField10(const QString& v) { m_fields[9] = v; }

private:
    QString m_typeUID;
    QString m_typeName;
    QString m_selectedGroupUID;
    int32_t m_typeIconID = 0;
    int32_t m_typeMask = 0;
    std::array<QString, kNumberOfFields> m_fields;
};
