#include <marlin/about/AboutRegistry.h>

#include <marlin/platform/QZStandard.h>

namespace marlin::about::AboutRegistry {

namespace {

std::int32_t rootKey(InventoryRoot root) {
    return root == InventoryRoot::CurrentUser ? QZStandard::kHkeyCurrentUser : QZStandard::kHkeyLocalMachine;
}

}  // namespace

QString read(InventoryRoot root, const QString& key, const QString& name) {
    return QString::fromStdString(QZStandard::RegistryDataText(
        QZStandard::ReadRegistryValue(rootKey(root), key.toStdString(), name.toStdString())));
}

bool write(InventoryRoot root, const QString& key, const QString& name, const QString& value) {
    bool numeric = false;
    const int number = value.trimmed().toInt(&numeric);
    const QZStandard::RegistryData data = numeric
                                              ? QZStandard::RegistryData(static_cast<std::int32_t>(number))
                                              : QZStandard::RegistryData(value.toStdString());
    return QZStandard::WriteRegistryValue(rootKey(root), key.toStdString(), name.toStdString(), data) == 0;
}

}  // namespace marlin::about::AboutRegistry
