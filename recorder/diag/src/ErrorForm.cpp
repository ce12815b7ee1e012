#include <marlin/diag/ErrorForm.h>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>
#include <cstdint>

#include <marlin/product.h>

namespace marlin {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QFont BoldFont(const QWidget* widget) {
    QFont font = widget->font();
    font.setBold(true);
    return font;
}

QFont FixedPitchFont() {
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

void SetBackground(QWidget* widget, const QColor& color) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
}

void ShowMessageBox(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Information, caption, ErrorForm::DisplayText(text),
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();  // either button only dismisses the notice
}

}  // namespace

ErrorForm::ErrorForm(QWidget* parent) : QWidget(parent, Qt::Window), notice_(ShowMessageBox) {
    setObjectName(QStringLiteral("ErrorForm"));
    setWindowTitle(QStringLiteral("ERROR"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    for (std::size_t i = 0; i < labels_.size(); ++i) {
        labels_[i] = new QLabel(this);
        labels_[i]->setObjectName(QStringLiteral("Label_%1").arg(i));
        labels_[i]->setTextFormat(Qt::PlainText);
        labels_[i]->setWordWrap(true);
    }
    for (std::size_t i = 0; i < infos_.size(); ++i) {
        infos_[i] = new QLabel(this);
        infos_[i]->setObjectName(QStringLiteral("Info_%1").arg(i));
        infos_[i]->setTextFormat(Qt::PlainText);
        infos_[i]->setFont(FixedPitchFont());
        infos_[i]->setWordWrap(true);
        infos_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        SetInfo(static_cast<int>(i), QStringLiteral("---"));
    }
    for (const int bold : {0, 7, 5, 1, 2, 3, 4}) {
        labels_[static_cast<std::size_t>(bold)]->setFont(BoldFont(this));
    }
    SetLabel(0, QStringLiteral("RUNTIME ERROR"));
    SetLabel(7, QStringLiteral("Error Code"));
    SetLabel(8, QStringLiteral("Error Code"));
    SetLabel(10, QStringLiteral("Error Code"));
    SetLabel(5, QStringLiteral("DETAILED ERROR INFORMATION"));
    SetLabel(1, QStringLiteral("Source"));
    SetLabel(2, QStringLiteral("Error Code"));
    SetLabel(3, QStringLiteral("Description"));
    SetLabel(4, QStringLiteral("Stack History"));
    SetBackground(labels_[6], Qt::white);
    SetBackground(labels_[9], Qt::white);
    SetBackground(labels_[5], QColor(0xC0, 0xC0, 0xC0));
    SetBackground(labels_[4], QColor(0xC0, 0xC0, 0xC0));

    errirPicture_ = new QLabel(labels_[6]);
    errirPicture_->setObjectName(QStringLiteral("ErrirPicture"));
    errirPicture_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));

    callerList_ = new QListWidget(this);
    callerList_->setObjectName(QStringLiteral("CallerList"));
    callerList_->setFont(FixedPitchFont());

    copyToClipboard_ = new QPushButton(QStringLiteral("&Copy to clipboard"), this);
    copyToClipboard_->setObjectName(QStringLiteral("CopyToClipboard"));
    buttonOK_ = new QPushButton(QStringLiteral("&OK"), this);
    buttonOK_->setObjectName(QStringLiteral("ButtonOK"));
    buttonOK_->setDefault(true);

    shape_ = new QFrame(this);
    shape_->setObjectName(QStringLiteral("Shape"));
    shape_->setFrameShape(QFrame::Box);

    // The white bands carry the upper texts.
    auto* headBand = new QHBoxLayout(labels_[6]);
    headBand->addWidget(errirPicture_, 0, Qt::AlignTop);
    headBand->addWidget(labels_[0], 1);
    labels_[0]->setParent(labels_[6]);
    auto* reportBand = new QVBoxLayout(labels_[9]);
    for (const int i : {7, 8, 10}) {
        labels_[static_cast<std::size_t>(i)]->setParent(labels_[9]);
        reportBand->addWidget(labels_[static_cast<std::size_t>(i)]);
    }

    auto* details = new QGridLayout(shape_);
    for (int row = 0; row < 3; ++row) {
        labels_[static_cast<std::size_t>(row + 1)]->setParent(shape_);
        infos_[static_cast<std::size_t>(row)]->setParent(shape_);
        details->addWidget(labels_[static_cast<std::size_t>(row + 1)], row, 0, Qt::AlignTop);
        details->addWidget(infos_[static_cast<std::size_t>(row)], row, 1);
    }
    labels_[4]->setParent(shape_);
    callerList_->setParent(shape_);
    details->addWidget(labels_[4], 3, 0, 1, 2);
    details->addWidget(callerList_, 4, 0, 1, 2);
    details->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copyToClipboard_);
    buttons->addStretch(1);
    buttons->addWidget(buttonOK_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labels_[6]);
    layout->addWidget(labels_[9]);
    layout->addWidget(labels_[5]);
    layout->addWidget(shape_, 1);
    layout->addLayout(buttons);
    resize(520, 480);

    connect(buttonOK_, &QPushButton::clicked, this, &ErrorForm::ButtonOK_Click);
    connect(copyToClipboard_, &QPushButton::clicked, this, &ErrorForm::CopyToClipboard_Click);
}

ErrorForm::~ErrorForm() {
    if (loop_) {
        loop_->quit();
    }
}

QLabel* ErrorForm::Label(int index) const {
    return labels_.at(static_cast<std::size_t>(index));
}
QLabel* ErrorForm::Info(int index) const {
    return infos_.at(static_cast<std::size_t>(index));
}
QString ErrorForm::LabelText(int index) const {
    return labelTexts_.at(static_cast<std::size_t>(index));
}
QString ErrorForm::InfoText(int index) const {
    return infoTexts_.at(static_cast<std::size_t>(index));
}

void ErrorForm::SetLabel(int index, const QString& text) {
    labelTexts_.at(static_cast<std::size_t>(index)) = text;
    labels_.at(static_cast<std::size_t>(index))->setText(DisplayText(text));
}

void ErrorForm::SetInfo(int index, const QString& text) {
    infoTexts_.at(static_cast<std::size_t>(index)) = text;
    infos_.at(static_cast<std::size_t>(index))->setText(DisplayText(text));
}

QString ErrorForm::DisplayText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                shown += u'&';
                ++i;
            }
            continue;
        }
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            continue;
        }
        shown += c;
    }
    return shown;
}

QString ErrorForm::NumberText(std::int32_t number) {
    return QString::number(number) + QStringLiteral(" = &&H") +
           QString::number(static_cast<std::uint32_t>(number), 16).toUpper();
}

void ErrorForm::SetNoticePresenter(NoticePresenter presenter) {
    notice_ = std::move(presenter);
}

void ErrorForm::DisplayError(const RuntimeError& EDisc, const std::vector<std::string>& CallStack) {
    const QString product = QStringLiteral(MARLIN_PRODUCT_NAME);
    const QString mail = QStringLiteral(MARLIN_SUPPORT_MAIL);

    show();
    raise();
    activateWindow();
    buttonOK_->setFocus();
    setWindowTitle(product);
    waiting_ = true;
    reportText_.clear();

    SetLabel(
        0, product + QStringLiteral(
                         " has encounted a problem and needs to close. We are sorry for the inconvenience."));
    SetLabel(7, QStringLiteral("Please tell " MARLIN_MAKER_NAME " about this problem:"));
    SetLabel(8, QStringLiteral("We have created an error report that you can send to help us improve ") +
                    product + QStringLiteral("."));
    SetLabel(10,
             QStringLiteral("Please press the button \"&Copy to clipboard\". You can use any application to "
                            "paste the report using <Ctrl-V>."));
    SetLabel(10, LabelText(10) + kCrLf + QStringLiteral("Send this mail to ") + mail + QStringLiteral("."));

    SetInfo(0, QString::fromStdString(EDisc.Source));
    reportText_ += QStringLiteral("SOURCE      : ") + InfoText(0) + kCrLf;
    SetInfo(1, NumberText(EDisc.Number));
    reportText_ += QStringLiteral("NUMBER      : ") + InfoText(1) + kCrLf;
    SetInfo(2, QString::fromStdString(EDisc.Description));
    reportText_ += QStringLiteral("DESCRIPTION : ") + InfoText(2) + kCrLf;

    callerList_->clear();
    reportText_ += QStringLiteral("CALLER STACK:") + kCrLf;
    for (std::size_t i = 0; i < CallStack.size(); ++i) {
        const QString line = QString(static_cast<qsizetype>(i), u'>') + QString::fromStdString(CallStack[i]);
        callerList_->addItem(line);
        reportText_ += line + kCrLf;
    }

    if (waiting_) {
        QEventLoop loop;
        QEventLoop* outer = loop_;
        loop_ = &loop;
        emit waitingForOk();
        if (waiting_) {
            loop.exec();
        }
        loop_ = outer;
    }
    close();
}

void ErrorForm::ButtonOK_Click() {
    waiting_ = false;
    if (loop_) {
        loop_->quit();
    }
}

void ErrorForm::CopyToClipboard_Click() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(reportText_);
    if (notice_) {
        notice_(this, QStringLiteral(MARLIN_PRODUCT_NAME),
                QStringLiteral("Support informations copied to clipboard.") + kCrLf +
                    QStringLiteral("  Please mail to " MARLIN_SUPPORT_MAIL));
    }
}

void ErrorForm::closeEvent(QCloseEvent* event) {
    // The frame's close box ends the wait exactly as OK does.
    if (waiting_) {
        ButtonOK_Click();
    }
    event->accept();
}

void ErrorForm::InstallAsErrorWindow(RootDebug& log) {
    log.SetErrorWindow([](const RuntimeError& error, const std::vector<std::string>& callStack) {
        // Windows live on the user-interface thread; without a widget application, or
        // for a record from another thread, the record in the log is the whole report.
        auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (!app || QThread::currentThread() != app->thread()) {
            return;
        }
        ErrorForm form;
        form.DisplayError(error, callStack);
    });
}

}  // namespace marlin
