#include "model/TVXType.h"

#include "model/TVXUID.h"

#include <QCoreApplication>

QString TVXLocalizedUnfiled()
{
    return QCoreApplication::translate(kModelTranslationContext, kUnfiled);
}

TVXType::TVXType()
{
    for (int i = 0; i < kNumberOfFields; ++i)
        m_fields[i] = QString::fromLatin1(kDefaultFieldNames[i]);
}

namespace {

// A type of the default icon, no mask and the default field names.
std::shared_ptr<TVXType> typeWithDefaults(const QString& uid, const QString& name)
{
    auto type = std::make_shared<TVXType>();
    type->setMTypeUID(uid);
    type->setMTypeName(name);
    type->setMTypeIconID(kDefaultIconID);
    type->setMTypeMask(0);
    return type;
}

} // namespace

std::shared_ptr<TVXType> TVXType::createType()
{
    return typeWithDefaults(TVXUID::giveMeNewUID(), QLatin1String(""));
}

std::shared_ptr<TVXType> TVXType::UnfiledType()
{
    static const std::shared_ptr<TVXType> unfiled = typeWithDefaults(kUnfiledUID, TVXLocalizedUnfiled());
    return unfiled;
}

std::shared_ptr<TVXType> TVXType::dummyType()
{
    static const std::shared_ptr<TVXType> dummy = [] {
        auto type = std::make_shared<TVXType>();
        type->m_typeUID = kDummyUID;
        type->m_typeName = QLatin1String("");
        type->m_typeIconID = 0;
        type->m_typeMask = 0;
        for (QString& field : type->m_fields)
            field = QLatin1String("");
        return type;
    }();
    return dummy;
}

std::shared_ptr<TVXType> TVXType::createCopyforType(const TVXType& source)
{
    auto type = std::make_shared<TVXType>();
    type->m_typeUID = source.m_typeUID;
    type->m_typeName = source.m_typeName;
    type->m_typeIconID = source.m_typeIconID;
    type->m_typeMask = source.m_typeMask;
    type->m_fields = source.m_fields;
    return type;
}

const std::array<TVXType::Getter, kNumberOfFields>& TVXType::getFunctionsArray()
{
    static constexpr std::array<Getter, kNumberOfFields> getters = {
        &TVXType::mField1, &TVXType::mField2, &TVXType::mField3, &TVXType::mField4,
        &TVXType::mField5, &TVXType::mField6, &TVXType::mField7, &TVXType::mField8,
        &TVXType::mField9, &TVXType::mField10};
    return getters;
}

const std::array<TVXType::Setter, kNumberOfFields>& TVXType::setFunctionsArray()
{
    static constexpr std::array<Setter, kNumberOfFields> setters = {
        &TVXType::setMField1, &TVXType::setMField2, &TVXType::setMField3, &TVXType::setMField4,
        &TVXType::setMField5, &TVXType::setMField6, &TVXType::setMField7, &TVXType::setMField8,
        &TVXType::setMField9, &TVXType::setMField10};
    return setters;
}

const QString& TVXType::fieldAtIndex(int index) const
{
    return fieldThroughTable(*this, index);
}

void TVXType::setFieldAtIndex(int index, const QString& name)
{
    setFieldThroughTable(*this, index, name);
}

bool TVXType::isEqualToType(const TVXType& other) const
{
    return m_typeName == other.m_typeName && m_fields == other.m_fields
        && m_typeIconID == other.m_typeIconID && m_typeMask == other.m_typeMask;
}

bool TVXType::isNotEqualToCustomType(const TVXType& other) const
{
    return m_typeIconID != other.m_typeIconID || m_typeMask != other.m_typeMask
        || m_fields != other.m_fields;
}

bool TVXType::isFieldMasked(int fieldNumber) const
{
    if (fieldNumber < 1 || fieldNumber > kNumberOfFields)
        return false;
    return (m_typeMask & (1 << (fieldNumber - 1))) != 0;
}
