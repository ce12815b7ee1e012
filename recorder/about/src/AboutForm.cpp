#include <marlin/about/AboutForm.h>

#include <marlin/about/AboutServices.h>
#include <marlin/about/CviCommandLine.h>
#include <marlin/about/InfoPane.h>
#include <marlin/about/LinkLabel.h>
#include <marlin/about/RtfInfoPane.h>
#include <marlin/about/SystemInventory.h>

#include <marlin/product.h>

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>

namespace marlin::about {

namespace {

const QString kNiSpyKey = QStringLiteral("SOFTWARE\\National Instruments\\NI Spy");
const QString kNiSpyOptionsKey = QStringLiteral("SOFTWARE\\National Instruments\\NI Spy\\Options");
const QString kShow = QStringLiteral("show");
const QString kHide = QStringLiteral("hide");
const char* const kTag = "Tag";

int pixels(int twips) {
    return twips / AboutForm::kTwipsPerPixel;
}

QString tagOf(const QPushButton* button) {
    return button->property(kTag).toString();
}

QFont serifFont(int pointSize, bool bold = false) {
    QFont font(QStringLiteral("Times New Roman"), pointSize);
    font.setStyleHint(QFont::Serif);
    font.setBold(bold);
    return font;
}

}  // namespace

struct AboutForm::Pane {
    marlin::RtfView* view = nullptr;
    std::unique_ptr<RtfInfoPane> writer;
    QPushButton* button = nullptr;

    Pane(QWidget* parent, const QString& name)
        : view(new marlin::RtfView(parent)), writer(std::make_unique<RtfInfoPane>(*view)) {
        view->setObjectName(name);
        view->setLineWrapMode(QTextEdit::NoWrap);
        view->hide();
    }
};

AboutForm::AboutForm(std::unique_ptr<AboutServices> services, QWidget* parent)
    : QWidget(parent, Qt::Window),
      services_(std::move(services)),
      version_(QZStandard::currentProgramVersion()) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("Info"));
    // The information panes line their values up in a fixed-pitch font; where
    // the usual one is missing the system's own stands in.
    const QString fixedFont = SystemInventory::kFontName;
    if (!QFontDatabase::hasFamily(fixedFont) && QFont::substitutes(fixedFont).isEmpty())
        QFont::insertSubstitution(fixedFont,
                                  QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family());
    createControls();
    placeControls();
}

AboutForm::~AboutForm() = default;

void AboutForm::createControls() {
    const auto label = [this](const QString& name, const QString& text, const QFont& font) {
        auto* created = new QLabel(text, this);
        created->setObjectName(name);
        created->setFont(font);
        return created;
    };
    const auto decoration = [this](const QString& name, QFrame::Shape shape) {
        auto* frame = new QFrame(this);
        frame->setObjectName(name);
        frame->setFrameShape(shape);
        frame->setFrameShadow(QFrame::Sunken);
        return frame;
    };
    const auto button = [this](const QString& name, const QString& text, const QString& tip) {
        auto* created = new QPushButton(text, this);
        created->setObjectName(name);
        if (!tip.isEmpty()) created->setToolTip(tip);
        return created;
    };
    const auto link = [this](const QString& name, const QString& text) {
        auto* created = new LinkLabel(text, this);
        created->setObjectName(name);
        return created;
    };

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image"));
    image_->setAlignment(Qt::AlignCenter);
    // The program's logo when the program carries one, else its window icon.
    QPixmap picture(QStringLiteral(":/marlin/logo.png"));
    if (picture.isNull()) picture = QApplication::windowIcon().pixmap(44, 44);
    if (!picture.isNull())
        image_->setPixmap(picture.scaled(44, 44, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    shape_ = decoration(QStringLiteral("Shape1"), QFrame::Box);

    appName_ = label(QStringLiteral("AppName"), QStringLiteral("AppName"), serifFont(14, true));
    appVersion_ = label(QStringLiteral("AppVersion"), QStringLiteral("AppVersion"), serifFont(10));
    appDesc_ = label(QStringLiteral("AppDesc"), QStringLiteral("AppDesc"), serifFont(10));
    appDesc_->setWordWrap(true);
    appUser_ = label(QStringLiteral("AppUser"), QStringLiteral("AppUser"), serifFont(10));
    appCopy_ = label(QStringLiteral("AppCopy"), QStringLiteral("AppCopy"), serifFont(10));

    line_ = decoration(QStringLiteral("Line"), QFrame::HLine);
    homeCaption_ = label(QStringLiteral("Label"), QStringLiteral("Company homepage:"), font());
    homeLink_ = link(QStringLiteral("HomeLink"), QUrl(QStringLiteral(MARLIN_MAKER_HOME_URL)).host());
    productCaption_ = label(QStringLiteral("Label"), QStringLiteral("Product  homepage:"), font());
    productLink_ = link(QStringLiteral("ProductLink"), QStringLiteral("click here to open product homepage"));
    mailCaption_ = label(QStringLiteral("Label"), QStringLiteral("Support mail:"), font());
    supportMail_ = link(QStringLiteral("SupportMail"), QStringLiteral(MARLIN_SUPPORT_MAIL));
    homeCaption_->setProperty("Index", 0);
    productCaption_->setProperty("Index", 1);
    mailCaption_->setProperty("Index", 2);
    separator_ = decoration(QStringLiteral("Separator"), QFrame::HLine);

    status_ = label(QStringLiteral("Status"), QString(), font());
    status_->setWordWrap(true);

    showSystemInfo_ = button(QStringLiteral("ShowSystemInfo"), QStringLiteral("system information"),
                             QStringLiteral("Display system information"));
    showDriverInfo_ = button(QStringLiteral("ShowDriverInfo"), QStringLiteral("driver information"),
                             QStringLiteral("Display information on installed QZ instrument drivers"));
    showLegalNotes_ = button(QStringLiteral("ShowLegalNotes"), QStringLiteral("legal information"),
                             QStringLiteral("Display legal information"));
    createSupportString_ = button(QStringLiteral("CreateSupportString"),
                                  QStringLiteral("copy support information to clipboard"), {});
    startNISpy_ = button(QStringLiteral("StartNISpy"), QStringLiteral("start NI SPY"), {});
    close_ = button(QStringLiteral("Close"), QStringLiteral("OK"), {});
    close_->setDefault(true);

    lizText_ = std::make_unique<Pane>(this, QStringLiteral("LizText"));
    sysInfoValue_ = std::make_unique<Pane>(this, QStringLiteral("SysInfoValue"));
    driverInfoValue_ = std::make_unique<Pane>(this, QStringLiteral("DriverInfoValue"));
    lizText_->button = showLegalNotes_;
    sysInfoValue_->button = showSystemInfo_;
    driverInfoValue_->button = showDriverInfo_;
    for (QPushButton* toggle : {showSystemInfo_, showDriverInfo_, showLegalNotes_})
        toggle->setProperty(kTag, kShow);
    fillLegalNotes();

    connect(showSystemInfo_, &QPushButton::clicked, this, &AboutForm::ShowSystemInfo_Click);
    connect(showDriverInfo_, &QPushButton::clicked, this, &AboutForm::ShowDriverInfo_Click);
    connect(showLegalNotes_, &QPushButton::clicked, this, &AboutForm::ShowLegalNotes_Click);
    connect(createSupportString_, &QPushButton::clicked, this, &AboutForm::CreateSupportString_Click);
    connect(startNISpy_, &QPushButton::clicked, this, &AboutForm::StartNISpy_Click);
    connect(close_, &QPushButton::clicked, this, &AboutForm::Close_Click);
    connect(homeLink_, &LinkLabel::clicked, this, &AboutForm::HomeLink_Click);
    connect(productLink_, &LinkLabel::clicked, this, &AboutForm::ProductLink_Click);
    connect(supportMail_, &LinkLabel::clicked, this, &AboutForm::SupportMail_Click);
}

void AboutForm::placeControls() {
    const int width = pixels(kWidthTwips);
    const int height = pixels(kClientHeightTwips);
    setFixedSize(width, height);

    shape_->setGeometry(6, 6, 52, 52);
    image_->setGeometry(10, 10, 44, 44);
    appName_->setGeometry(66, 6, width - 74, 26);
    appVersion_->setGeometry(66, 34, width - 74, 20);
    appDesc_->setGeometry(66, 70, width - 74, 34);
    appUser_->setGeometry(66, 106, width - 74, 18);
    appCopy_->setGeometry(66, 126, width - 74, 18);
    line_->setGeometry(8, 150, width - 16, 2);
    homeCaption_->setGeometry(8, 158, 130, 18);
    homeLink_->setGeometry(140, 158, width - 148, 18);
    productCaption_->setGeometry(8, 178, 130, 18);
    productLink_->setGeometry(140, 178, width - 148, 18);
    mailCaption_->setGeometry(8, 198, 130, 18);
    supportMail_->setGeometry(140, 198, width - 148, 18);
    separator_->setGeometry(8, 222, width - 16, 2);
    status_->setGeometry(8, 228, width - 16, 34);

    // The three panes share one area below the title lines.
    const int paneTop = pixels(kPaneTopTwips);
    const int paneHeight = 264 - paneTop;
    for (Pane* pane : {lizText_.get(), sysInfoValue_.get(), driverInfoValue_.get()})
        pane->view->setGeometry(0, paneTop, pixels(kWidthTwips - 85), paneHeight);

    showSystemInfo_->setGeometry(8, 268, 170, 26);
    showDriverInfo_->setGeometry(183, 268, 170, 26);
    showLegalNotes_->setGeometry(358, 268, width - 366, 26);
    createSupportString_->setGeometry(8, 300, 250, 26);
    startNISpy_->setGeometry(263, 300, 130, 26);
    close_->setGeometry(398, 300, width - 406, 26);
}

void AboutForm::fillLegalNotes() {
    InfoPane& pane = *lizText_->writer;
    pane.begin(font().family(), 20);
    InfoRunFormat title;
    title.bold = true;
    title.newParagraph = true;
    title.alignment = 2;
    pane.addText(QStringLiteral("I accept the terms of use as published"), title);
    InfoRunFormat address;
    address.underline = true;
    address.newParagraph = true;
    address.alignment = 2;
    address.foreColor = 0xFF0000;
    pane.addText(QStringLiteral(MARLIN_MAKER_TERMS_URL), address);
}

void AboutForm::load() {
    if (!loaded_) loadContent(true);
}

void AboutForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!loaded_) loadContent(false);
}

void AboutForm::loadContent(bool letWindowAppear) {
    loaded_ = true;

    std::unique_ptr<InventorySources> sources = services_->inventorySources();
    SystemInventory inventory(*sources, report_);
    inventory.lookUpFolders();

    placeControls();
    if (!isVisible()) show();
    // Let the window appear before the inventory, which may take a while.
    if (letWindowAppear) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const CviCommandLine commandLine = CviCommandLine::fromArguments(services_->arguments());
    commandLineMode_ = commandLine.isActive();
    if (commandLineMode_) {
        if (commandLine.isComplete()) {
            applicName_ = commandLine.applicationName();
            setWindowTitle(QStringLiteral("Information about ") + applicName_);
            appName_->setText(applicName_);
            appDesc_->setText(commandLine.description());
            appVersion_->setText(commandLine.version());
            appUser_->setText(commandLine.user());
            appCopy_->setText(QStringLiteral("Copyright: ") + commandLine.copyrightHolder());
            appNoteId_ = commandLine.appNoteAddress();
            mailVersion_ = commandLine.version();
        }
        standAlone_ = true;
        report_.beginGlobalSetup(applicName_, mailVersion_, QString());
    } else {
        loadNormalMode();
        report_.beginGlobalSetup(applicName_, QZStandard::shortVersionText(version_), programDateText_);
    }

    inventory.fillSystemPane(*sysInfoValue_->writer);
    inventory.fillDriverPane(*driverInfoValue_->writer);
}

void AboutForm::loadNormalMode() {
    const QZStandard::ProgramVersionBlock block = QZStandard::currentVersionBlock();
    const QString programFile = services_->programFile();
    applicName_ = block.productName;
    setWindowTitle(QStringLiteral("Information about ") + applicName_);
    versionSuffix_ = QZStandard::versionSuffix(version_);
    programDateText_ = QZStandard::programDateText(QZStandard::fileLastWriteTime(programFile));
    appName_->setText(applicName_);
    appDesc_->setText(block.comments);
    appVersion_->setText(QZStandard::GetAboutFormVersion(version_, programFile));
    appUser_->setText(QString());
    appCopy_->setText(QStringLiteral("Copyright: ") + block.legalCopyright);
    appNoteId_ = QStringLiteral(MARLIN_MAKER_APPNOTE_URL) + block.legalTrademarks;
    standAlone_ = applicName_.toUpper() == QLatin1String("HELPDECK");
    mailVersion_ = QZStandard::shortVersionText(version_);
}

QString AboutForm::paneText(const QString& paneName) const {
    for (const Pane* pane : {lizText_.get(), sysInfoValue_.get(), driverInfoValue_.get()}) {
        if (pane->view->objectName() == paneName) return QString::fromStdString(pane->view->PlainText());
    }
    return {};
}

void AboutForm::HideAllPanes() {
    lizText_->writer->setCaret(1);
    for (Pane* pane : {lizText_.get(), sysInfoValue_.get(), driverInfoValue_.get()}) {
        pane->view->hide();
        pane->button->setProperty(kTag, kShow);
    }
}

void AboutForm::togglePane(QPushButton* button, Pane& pane) {
    const QString action = tagOf(button).left(4);
    if (action == kShow) {
        HideAllPanes();
        pane.view->show();
        pane.view->raise();
        button->setProperty(kTag, kHide);
    } else if (action == kHide) {
        HideAllPanes();
    }
}

void AboutForm::ShowSystemInfo_Click() {
    togglePane(showSystemInfo_, *sysInfoValue_);
}

void AboutForm::ShowDriverInfo_Click() {
    togglePane(showDriverInfo_, *driverInfoValue_);
}

void AboutForm::ShowLegalNotes_Click() {
    togglePane(showLegalNotes_, *lizText_);
}

void AboutForm::CreateSupportString_Click() {
    services_->setClipboardText(report_.text());
    services_->showMessage(
        this, QStringLiteral(MARLIN_PRODUCT_NAME),
        QStringLiteral("Support information copied to clipboard.") + SupportReport::kLineEnd +
            QStringLiteral("Use <CTRL-V> to paste the information in your mail program or a text "
                           "editor."),
        AboutServices::Icon::None);
}

void AboutForm::setStatus(const QString& text) {
    status_->setText(text);
}

void AboutForm::StartNISpy_Click() {
    const QString folder =
        services_->readRegistryValue(InventoryRoot::LocalMachine, kNiSpyKey, QStringLiteral("InstDir"));
    const QString tool =
        folder.isEmpty() ? QString() : SystemInventory::joinPath(folder, QStringLiteral("NISpy.exe"));
    if (tool.isEmpty() || !services_->fileExists(tool)) {
        services_->showMessage(this, QStringLiteral("NI Spy not found."),
                               QStringLiteral("NI Spy is not installed."), AboutServices::Icon::Information);
        return;
    }

    const QString programFolder = QFileInfo(services_->programFile()).absolutePath();
    const QString logFile = SystemInventory::joinPath(
        programFolder, QStringLiteral("NISpy_") +
                           services_->now().toString(QStringLiteral("yyyy.MM.dd HH.mm.ss")) +
                           QStringLiteral(".spy"));
    const QString& crlf = SupportReport::kLineEnd;
    const QString question =
        QStringLiteral("The National Instruments SPY will start in order to generate an error log.") + crlf +
        QStringLiteral("The log will be automatically stored to") + crlf + QStringLiteral("      ") +
        logFile + crlf + crlf + QStringLiteral("Continue?");
    if (!services_->askYesNo(this, QStringLiteral(MARLIN_PRODUCT_NAME), question)) return;

    bool stored = services_->writeRegistryValue(InventoryRoot::CurrentUser, kNiSpyOptionsKey,
                                                QStringLiteral("Log Enabled"), QStringLiteral("1"));
    stored = services_->writeRegistryValue(InventoryRoot::CurrentUser, kNiSpyOptionsKey,
                                           QStringLiteral("Log File Name"), logFile) &&
             stored;
    stored = services_->writeRegistryValue(InventoryRoot::CurrentUser, kNiSpyOptionsKey,
                                           QStringLiteral("History Depth"), QStringLiteral("99999")) &&
             stored;

    QString error;
    if (!services_->startProgram(tool, error)) {
        setStatus(QStringLiteral("NI Spy could not be started: ") + error);
        return;
    }
    // The tool cannot be brought to the front and sent its capture key from
    // here, so the user starts the capture.
    QString status = QStringLiteral("NI Spy has been started. Press F8 in NI Spy to start the capture.");
    if (!stored)
        status += QStringLiteral(" Its log settings could not be stored; set the log file in NI Spy.");
    setStatus(status);
}

void AboutForm::Close_Click() {
    if (standAlone_) {
        services_->quitProgram();
        return;
    }
    hide();
}

void AboutForm::closeEvent(QCloseEvent* event) {
    // Closing through the frame unloads the window; the next showing loads it afresh.
    setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}

void AboutForm::HomeLink_Click() {
    services_->openDocument(QStringLiteral(MARLIN_MAKER_HOME_URL));
}

void AboutForm::ProductLink_Click() {
    if (applicName_ == QLatin1String("Helpdeck"))
        services_->openDocument(QStringLiteral(MARLIN_MAKER_DOWNLOAD_URL));
    else
        services_->openDocument(appNoteId_);
}

QString AboutForm::supportMailSubject() const {
    QString subject =
        QStringLiteral("Question to ") + applicName_ + QStringLiteral(", version ") + mailVersion_;
    if (!programDateText_.isEmpty()) subject += QStringLiteral(" from ") + programDateText_;
    return subject;
}

QString AboutForm::supportMailAddress() const {
    // Encoded, so that blanks, "&" or "#" in an application's name keep the subject whole.
    return QStringLiteral("mailto:" MARLIN_SUPPORT_MAIL "?SUBJECT=") +
           QString::fromLatin1(QUrl::toPercentEncoding(supportMailSubject(), ",/"));
}

void AboutForm::SupportMail_Click() {
    services_->openDocument(supportMailAddress());
}

}  // namespace marlin::about
