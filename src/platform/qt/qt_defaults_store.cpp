#include "platform/qt/qt_defaults_store.h"

#include <QSettings>
#include <QStringList>

namespace auralune {

namespace {

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

QtDefaultsStore::QtDefaultsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Auralune", "Auralune"))
{
}

QtDefaultsStore::QtDefaultsStore(const std::string& iniFile)
    : settings_(std::make_unique<QSettings>(q(iniFile), QSettings::IniFormat))
{
}

QtDefaultsStore::~QtDefaultsStore() = default;

std::vector<std::string> QtDefaultsStore::storedKeys() const
{
    std::vector<std::string> keys;
    for (const QString& key : settings_->allKeys())
        keys.push_back(key.toStdString());
    return keys;
}

std::optional<StoredValue> QtDefaultsStore::stored(const std::string& key) const
{
    const QVariant v = settings_->value(q(key));
    if (!v.isValid())
        return std::nullopt;
    if (v.typeId() == QMetaType::QStringList) {
        std::vector<std::string> list;
        for (const QString& s : v.toStringList())
            list.push_back(s.toStdString());
        return list;
    }
    return v.toString().toStdString();
}

void QtDefaultsStore::store(const std::string& key, const StoredValue& value)
{
    if (const auto* s = std::get_if<std::string>(&value)) {
        settings_->setValue(q(key), q(*s));
    } else {
        QStringList list;
        for (const std::string& item : std::get<std::vector<std::string>>(value))
            list << q(item);
        settings_->setValue(q(key), list);
    }
    syncAndCheck();
}

void QtDefaultsStore::erase(const std::string& key)
{
    settings_->remove(q(key));
    syncAndCheck();
}

void QtDefaultsStore::sync()
{
    syncAndCheck();
}

void QtDefaultsStore::syncAndCheck()
{
    settings_->sync();
    const std::string file = settings_->fileName().toStdString();
    switch (settings_->status()) {
    case QSettings::NoError: writeProblem_.reset(); break;
    case QSettings::AccessError: writeProblem_ = "cannot write the settings file " + file; break;
    case QSettings::FormatError: writeProblem_ = "the settings file " + file + " is damaged"; break;
    }
}

std::optional<std::string> QtDefaultsStore::writeProblem() const
{
    return writeProblem_;
}

}  // namespace auralune
