#pragma once

#include <marlin/about/AboutRegistry.h>
#include <marlin/about/AboutServices.h>
#include <marlin/about/InfoPane.h>
#include <marlin/about/LocalInventorySources.h>
#include <marlin/platform/RegistryStore.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace marlin::about {

// A pane that keeps its runs, and the lines they make.
class RecordingPane : public InfoPane {
public:
    struct Run {
        QString text;
        InfoRunFormat format;
    };

    void begin(const QString& fontName, int fontSize) override {
        ++begins;
        font = fontName;
        size = fontSize;
        runs.clear();
    }
    void addText(const QString& text, const InfoRunFormat& format) override {
        runs.push_back({text, format});
    }
    void setCaret(int position) override { caret = position; }

    QStringList lines() const {
        QStringList result;
        QString current;
        for (const Run& run : runs) {
            current += run.text;
            if (run.format.newParagraph) {
                result << current;
                current.clear();
            }
        }
        if (!current.isEmpty()) result << current;
        return result;
    }

    int begins = 0;
    QString font;
    int size = 0;
    int caret = -1;
    std::vector<Run> runs;
};

inline QString registryPath(InventoryRoot root, const QString& key, const QString& name) {
    return (root == InventoryRoot::LocalMachine ? QStringLiteral("HKLM\\") : QStringLiteral("HKCU\\")) + key +
           QStringLiteral("|") + name;
}

// A folder tree made by a test, with a registry store and version records to
// match. The store's files live in the tree while the computer exists, so a
// test makes one computer at a time.
class PreparedComputer {
public:
    using Store = marlin::platform::RegistryStore;

    PreparedComputer() {
        QDir(root()).mkpath(QStringLiteral("lib"));
        QDir(root()).mkpath(QStringLiteral("win/INF"));
        QDir(root()).mkpath(QStringLiteral("win/SYSTEM32/Drivers"));
        Store::setStorePath(Store::kLocalMachine, path(QStringLiteral("machine.reg")).toStdString());
        Store::setStorePath(Store::kCurrentUser, path(QStringLiteral("user.reg")).toStdString());
    }
    ~PreparedComputer() {
        Store::setStorePath(Store::kLocalMachine, {});
        Store::setStorePath(Store::kCurrentUser, {});
    }
    PreparedComputer(const PreparedComputer&) = delete;
    PreparedComputer& operator=(const PreparedComputer&) = delete;

    QString root() const { return dir_.path(); }
    QString path(const QString& relative) const { return root() + QLatin1Char('/') + relative; }

    // Creates a file; facts, when given, are what its version record holds.
    QString addFile(const QString& relative, const InventoryFileFacts& facts = {}) {
        const QString full = path(relative);
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile file(full);
        if (file.open(QIODevice::WriteOnly)) file.write("x");
        facts_[full] = facts;
        return full;
    }

    void setRegistry(InventoryRoot root, const QString& key, const QString& name, const QString& value) {
        ASSERT_TRUE(AboutRegistry::write(root, key, name, value));
    }

    std::unique_ptr<LocalInventorySources> sources() const {
        LocalInventoryLocations locations;
        locations.libraryFolders << path(QStringLiteral("lib"));
        locations.windowsFolder = path(QStringLiteral("win"));
        auto facts = facts_;
        auto created = std::make_unique<LocalInventorySources>(
            locations, LocalInventorySources::RegistryReader(), [facts](const QString& file) {
                if (facts.contains(file)) {
                    InventoryFileFacts found = facts.value(file);
                    if (found.versionAndType.isEmpty() && !found.fileVersion.isEmpty())
                        found.versionAndType = found.fileVersion + QStringLiteral(" (type: DLL)");
                    return found;
                }
                InventoryFileFacts missing;
                if (!QFileInfo(file).isFile())
                    missing.versionAndType = QStringLiteral("File ") + file + QStringLiteral(" not found!");
                return missing;
            });
        created->setOperatingSystemText(
            [] { return QStringLiteral("Debian GNU/Linux 12, Service Pack 0, build 6"); });
        created->setAdministratorTest([] { return false; });
        created->setLocale(QLocale(QLocale::German, QLocale::Germany));
        return created;
    }

private:
    QTemporaryDir dir_;
    QMap<QString, InventoryFileFacts> facts_;
};

// Services that record what the window asks for and answer as told.
class FakeAboutServices : public AboutServices {
public:
    struct Message {
        QString title;
        QString text;
        Icon icon;
    };

    void showMessage(QWidget*, const QString& title, const QString& text, Icon icon) override {
        messages.push_back({title, text, icon});
    }
    bool askYesNo(QWidget*, const QString& title, const QString& text) override {
        questions.push_back({title, text, Icon::Question});
        return answerYes;
    }
    void setClipboardText(const QString& text) override { clipboard = text; }
    bool openDocument(const QString& target) override {
        opened << target;
        return false;  // the window must not care
    }
    bool startProgram(const QString& path, QString& error) override {
        started << path;
        if (!startSucceeds) error = QStringLiteral("no such program");
        return startSucceeds;
    }
    void quitProgram() override { ++quits; }
    QString readRegistryValue(InventoryRoot root, const QString& key, const QString& name) override {
        return registry.value(registryPath(root, key, name));
    }
    bool writeRegistryValue(InventoryRoot root, const QString& key, const QString& name,
                            const QString& value) override {
        registry[registryPath(root, key, name)] = value;
        return true;
    }
    bool fileExists(const QString& path) override { return QFileInfo(path).isFile(); }
    QDateTime now() override { return clock; }
    QStringList arguments() override { return commandLine; }
    QString programFile() override { return program; }
    std::unique_ptr<InventorySources> inventorySources() override { return computer->sources(); }

    PreparedComputer* computer = nullptr;
    std::vector<Message> messages;
    std::vector<Message> questions;
    bool answerYes = true;
    bool startSucceeds = true;
    QString clipboard;
    QStringList opened;
    QStringList started;
    int quits = 0;
    QMap<QString, QString> registry;
    QDateTime clock = QDateTime(QDate(2010, 12, 8), QTime(13, 52, 56));
    QStringList commandLine;
    QString program;
};

}  // namespace marlin::about
