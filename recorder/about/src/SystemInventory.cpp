#include <marlin/about/SystemInventory.h>

#include <QDateTime>
#include <QDir>
#include <QTimeZone>

namespace marlin::about {

namespace {

const QString kFrameworkKey = QStringLiteral("SOFTWARE\\VXIPNP_Alliance\\VXIPNP\\CurrentVersion");
const QString kWindowsKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
const QString kBrowserKey =
    QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE");

bool endsWithSeparator(const QString& path) {
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

QString asFolder(const QString& path) {
    if (path.isEmpty() || endsWithSeparator(path)) return path;
    return path + QDir::separator();
}

QString inParentheses(const QString& text) {
    return QLatin1Char('(') + text + QLatin1Char(')');
}

}  // namespace

SystemInventory::SystemInventory(InventorySources& sources, SupportReport& report)
    : sources_(sources), report_(report) {}

QString SystemInventory::joinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty()) return name;
    return asFolder(folder) + name;
}

QString SystemInventory::formatInstallTime(std::int64_t seconds) {
    // The count is shown as it is, without moving it into the local time zone.
    const QDateTime time = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
    return time.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

void SystemInventory::lookUpFolders() {
    QString framework = sources_.readRegistryValue(InventoryRoot::LocalMachine, kFrameworkKey,
                                                   QStringLiteral("FRAMEWORK_PATH"));
    if (framework.isEmpty())
        framework = sources_.readRegistryValue(InventoryRoot::LocalMachine, kFrameworkKey,
                                               QStringLiteral("FrameworkPath"));
    // Without a configured folder there is nothing to search: a relative
    // search would list whatever lies in the working directory.
    folders_.frameworkBin =
        framework.isEmpty() ? QString() : asFolder(joinPath(framework, QStringLiteral("bin")));

    const QString programFiles = sources_.readRegistryValue(InventoryRoot::LocalMachine, kWindowsKey,
                                                            QStringLiteral("ProgramFilesDir"));
    folders_.iviBin =
        programFiles.isEmpty()
            ? QString()
            : asFolder(joinPath(joinPath(programFiles, QStringLiteral("IVI")), QStringLiteral("Bin")));

    folders_.windows = asFolder(sources_.windowsFolder());
    folders_.system = sources_.systemFolder();
    folders_.webBrowser = sources_.readRegistryValue(InventoryRoot::LocalMachine, kBrowserKey, QString());
}

void SystemInventory::line(InfoPane& pane, const QString& label, const QString& value) {
    report_.addInfoLine(pane, label, value, false);
}

void SystemInventory::heading(InfoPane& pane, const QString& label) {
    report_.addInfoLine(pane, label, QString(), true);
}

void SystemInventory::blank(InfoPane& pane) {
    report_.addInfoLine(pane, QString(), QString(), false);
}

QString SystemInventory::versionAndType(const QString& windowsName) {
    return sources_.fileFacts(sources_.systemFile(windowsName)).versionAndType;
}

void SystemInventory::addOperatingSystem(InfoPane& pane) {
    InfoRunFormat title;
    title.bold = true;
    title.newParagraph = true;
    pane.addText(QStringLiteral("Operating system"), title);

    const QString description = sources_.operatingSystemText();
    InfoRunFormat part;
    part.newParagraph = true;
    for (const QString& piece : description.split(QLatin1Char(',')))
        pane.addText(QString(SupportReport::kPaneLabelWidth, QLatin1Char(' ')) + piece.trimmed(), part);
    report_.addLine(QStringLiteral("Operating system:"), description);
}

void SystemInventory::addLibraryPair(InfoPane& pane, const QString& label, const QString& value,
                                     const QString& company) {
    line(pane, label, value);
    line(pane, QString(), company);
}

void SystemInventory::addRemoteControl(InfoPane& pane) {
    heading(pane, QStringLiteral("Remote Control"));

    // The IEEE bus library of either maker; the product version is what
    // support asks for here.
    bool ieeeFound = false;
    for (const QString& name : {QStringLiteral("GPIB-32.dll"), QStringLiteral("sicl32.dll")}) {
        const QString path = sources_.systemFile(name);
        if (!sources_.fileExists(path)) continue;
        const InventoryFileFacts facts = sources_.fileFacts(path);
        addLibraryPair(pane, QStringLiteral("IEEE driver"), facts.productVersion,
                       inParentheses(facts.companyName));
        ieeeFound = true;
        break;
    }
    if (!ieeeFound)
        addLibraryPair(pane, QStringLiteral("IEEE driver"), QStringLiteral("IEEE BUS IS NOT INSTALLED"), {});

    const QString visa = sources_.systemFile(QStringLiteral("visa32.dll"));
    if (sources_.fileExists(visa)) {
        const InventoryFileFacts facts = sources_.fileFacts(visa);
        addLibraryPair(pane, QStringLiteral("VISA"), facts.versionAndType, inParentheses(facts.companyName));
    } else {
        addLibraryPair(pane, QStringLiteral("VISA"), QStringLiteral("VISA IS NOT INSTALLED"), {});
    }

    const QString secondary = sources_.systemFile(QStringLiteral("agvisa32.dll"));
    if (sources_.fileExists(secondary)) {
        const InventoryFileFacts facts = sources_.fileFacts(secondary);
        addLibraryPair(pane, QStringLiteral("Secondary VISA"), facts.versionAndType,
                       inParentheses(facts.companyName));
    }

    const QString qzib = folders_.frameworkBin.isEmpty()
                             ? QString()
                             : joinPath(folders_.frameworkBin, QStringLiteral("QzViQzib.dll"));
    if (!qzib.isEmpty() && sources_.fileExists(qzib))
        line(pane, QStringLiteral("QZIB"), sources_.fileFacts(qzib).versionAndType);
    else
        line(pane, QStringLiteral("QZIB"), QStringLiteral("QZIB NOT INSTALLED"));
}

void SystemInventory::addUsbControls(InfoPane& pane) {
    heading(pane, QStringLiteral("QZ USB Drivers"));
    const auto optional = [&](const QString& label, const QString& name, const QString& missing) {
        const QString path = sources_.systemFile(name);
        if (sources_.fileExists(path))
            line(pane, label, sources_.fileFacts(path).versionAndType);
        else if (!missing.isEmpty())
            line(pane, label, missing);
    };
    optional(QStringLiteral("KV Control"), QStringLiteral("kvcontrol.dll"),
             QStringLiteral("Q&Z Keyvane USB NOT INSTALLED"));
    optional(QStringLiteral("PWX Control2"), QStringLiteral("pwxcontrol2.dll"),
             QStringLiteral("Q&Z PWX USB NOT INSTALLED"));
    optional(QStringLiteral("PWX Control"), QStringLiteral("pwxcontrol.dll"), QString());
}

void SystemInventory::fillSystemPane(InfoPane& pane) {
    pane.begin(kFontName, kFontSize);
    addOperatingSystem(pane);

    const std::optional<std::int64_t> installed = sources_.installTime();
    line(pane, QStringLiteral("Installed"), installed ? formatInstallTime(*installed) : QString());
    line(pane, QStringLiteral("Admin rights"),
         sources_.isAdministrator() ? QStringLiteral("YES") : QStringLiteral("NO"));
    blank(pane);

    const InventoryLanguage language = sources_.language();
    heading(pane, QStringLiteral("Language settings"));
    line(pane, QStringLiteral("Country"), language.country);
    line(pane, QStringLiteral("Language"), language.language);
    line(pane, QStringLiteral("Local ID"), language.localeId);
    blank(pane);

    heading(pane, QStringLiteral("DLL and EXE versions"));
    line(pane, QStringLiteral("VB runtime"), versionAndType(QStringLiteral("msvbvm60.dll")));
    line(pane, QStringLiteral("CVI runtime"), versionAndType(QStringLiteral("cvirte.dll")));
    line(pane, QStringLiteral("MSI service"), versionAndType(QStringLiteral("msi.dll")));
    line(pane, QStringLiteral("Internet Explorer"), sources_.fileFacts(folders_.webBrowser).versionAndType);
    blank(pane);

    heading(pane, QStringLiteral("NI ActiveX versions"));
    line(pane, QStringLiteral("NI Analysis"), versionAndType(QStringLiteral("cwanalysis.ocx")));
    line(pane, QStringLiteral("NI UI"), versionAndType(QStringLiteral("cwui.ocx")));
    line(pane, QStringLiteral("NI 3D graph"), versionAndType(QStringLiteral("cw3dgrph.ocx")));
    blank(pane);

    addRemoteControl(pane);
    blank(pane);
    addUsbControls(pane);
    blank(pane);

    pane.setCaret(0);
}

void SystemInventory::addDllDrivers(InfoPane& pane, const QString& headingText, const QString& folder) {
    if (folder.isEmpty()) return;
    const QStringList files = sources_.findFiles(folder, QStringLiteral("qz*.dll"));
    if (files.isEmpty()) return;
    heading(pane, headingText);
    line(pane, QStringLiteral("(PATH)"), folder);
    for (const QString& file : files) {
        const InventoryFileFacts facts = sources_.fileFacts(joinPath(folder, file));
        // A file without version information still gets a recognisable label.
        const QString name = facts.originalFileName.isEmpty() ? file : facts.originalFileName;
        line(pane, SupportReport::fitExactly(name, kDriverLabelWidth), facts.fileVersion);
    }
    blank(pane);
}

void SystemInventory::addUsbDrivers(InfoPane& pane) {
    if (folders_.windows.isEmpty()) return;
    const QStringList files =
        sources_.findFiles(joinPath(folders_.windows, QStringLiteral("INF")), QStringLiteral("qz*.inf"));
    if (files.isEmpty()) return;
    heading(pane, QStringLiteral("Installed Q&Z USB drivers"));
    line(pane, QStringLiteral("(PATH)"), folders_.windows);
    const QString driverFolder =
        joinPath(joinPath(folders_.windows, QStringLiteral("SYSTEM32")), QStringLiteral("Drivers"));
    for (const QString& file : files) {
        const QString driver = file.toUpper().replace(QStringLiteral(".INF"), QStringLiteral(".SYS"));
        const QString driverPath = joinPath(driverFolder, driver);
        if (!sources_.fileExists(driverPath)) continue;
        QString label = file;
        label.remove(QStringLiteral(".inf"));
        line(pane, SupportReport::fitExactly(label, kDriverLabelWidth),
             sources_.fileFacts(driverPath).fileVersion);
    }
    blank(pane);
}

void SystemInventory::fillDriverPane(InfoPane& pane) {
    pane.begin(kFontName, kFontSize);
    addDllDrivers(pane, QStringLiteral("Installed Q&Z VXI PnP drivers"), folders_.frameworkBin);
    addDllDrivers(pane, QStringLiteral("Installed Q&Z IVI drivers"), folders_.iviBin);
    addUsbDrivers(pane);
    pane.setCaret(1);
}

}  // namespace marlin::about
