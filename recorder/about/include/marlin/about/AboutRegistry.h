#pragma once

#include <marlin/about/InventorySources.h>

#include <QString>

// The About window's way into the registry store: texts in, texts out.
namespace marlin::about::AboutRegistry {

// A string value as its text, a 32-bit number value in decimal; "" when the
// key or the value is missing or of another type.
QString read(InventoryRoot root, const QString& key, const QString& name);
// A value that reads as a 32-bit number is stored as one, anything else as a
// string. True when the store took it.
bool write(InventoryRoot root, const QString& key, const QString& name, const QString& value);

}  // namespace marlin::about::AboutRegistry
