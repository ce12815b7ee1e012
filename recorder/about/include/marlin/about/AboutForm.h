#pragma once

#include <marlin/about/AboutFormVersion.h>
#include <marlin/about/SupportReport.h>

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;

namespace marlin::about {

class AboutServices;
class InfoPane;
class LinkLabel;

// The About window: names the application and its version, links to the
// maker's pages and support mailbox, shows legal notes, system and driver
// information in three panes that share one area, copies the support report
// to the clipboard and starts the bus-trace tool.
//
// It fills itself when first shown, or through load(), which also shows it
// and lets it appear before the inventory runs. OK hides it,
// so showing it again keeps its content; closing it through the window frame
// deletes it. When it is the whole program (command-line mode, or the
// Helpdeck tool) OK ends the program instead.
class AboutForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kWidthTwips = 8055;
    static constexpr int kClientHeightTwips = 4995;
    static constexpr int kPaneTopTwips = 960;

    explicit AboutForm(std::unique_ptr<AboutServices> services, QWidget* parent = nullptr);
    ~AboutForm() override;

    void load();
    bool isLoaded() const { return loaded_; }

    // Hides the three panes and sets every toggle button back to "show".
    void HideAllPanes();

    // What the window learnt while loading.
    const QString& ApplicName() const { return applicName_; }
    const QString& AppNoteID() const { return appNoteId_; }
    bool StandAlone() const { return standAlone_; }
    const QString& SupportText() const { return report_.text(); }
    const QString& VersionSuffix() const { return versionSuffix_; }
    const QString& ProgramDateText() const { return programDateText_; }
    // The plain text shown in a pane ("LizText", "SysInfoValue", "DriverInfoValue").
    QString paneText(const QString& paneName) const;
    // The subject of a mail to support, and the address the support-mail link opens.
    QString supportMailSubject() const;
    QString supportMailAddress() const;

    // For tests and for a program that wants other version figures.
    void setProgramVersion(const QZStandard::ProgramVersion& version) { version_ = version; }

    // Control handlers, named after their controls.
    void ShowSystemInfo_Click();
    void ShowDriverInfo_Click();
    void ShowLegalNotes_Click();
    void CreateSupportString_Click();
    void StartNISpy_Click();
    void Close_Click();
    void HomeLink_Click();
    void ProductLink_Click();
    void SupportMail_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Pane;

    void loadContent(bool letWindowAppear);
    void createControls();
    void placeControls();
    void fillLegalNotes();
    void loadNormalMode();
    void togglePane(QPushButton* button, Pane& pane);
    void setStatus(const QString& text);

    std::unique_ptr<AboutServices> services_;
    QZStandard::ProgramVersion version_;
    SupportReport report_;
    bool loaded_ = false;
    bool commandLineMode_ = false;

    QString applicName_;
    QString appNoteId_;
    bool standAlone_ = false;
    QString versionSuffix_;
    QString programDateText_;
    QString mailVersion_;

    QLabel* image_ = nullptr;
    QLabel* appName_ = nullptr;
    QLabel* appVersion_ = nullptr;
    QLabel* appDesc_ = nullptr;
    QLabel* appUser_ = nullptr;
    QLabel* appCopy_ = nullptr;
    QLabel* homeCaption_ = nullptr;
    QLabel* productCaption_ = nullptr;
    QLabel* mailCaption_ = nullptr;
    LinkLabel* homeLink_ = nullptr;
    LinkLabel* productLink_ = nullptr;
    LinkLabel* supportMail_ = nullptr;
    QWidget* line_ = nullptr;
    QWidget* separator_ = nullptr;
    QWidget* shape_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* showSystemInfo_ = nullptr;
    QPushButton* showDriverInfo_ = nullptr;
    QPushButton* showLegalNotes_ = nullptr;
    QPushButton* createSupportString_ = nullptr;
    QPushButton* startNISpy_ = nullptr;
    QPushButton* close_ = nullptr;
    std::unique_ptr<Pane> lizText_;
    std::unique_ptr<Pane> sysInfoValue_;
    std::unique_ptr<Pane> driverInfoValue_;
};

}  // namespace marlin::about
