#pragma once

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <memory>

#include "prismbar/PictureSurface.h"
#include "prismbar/prismbar_export.h"

class QPainter;
class KXprogressBarPrivate;
struct KXprogressBarProperty;

namespace prismbar {
class PropertyBag;
}  // namespace prismbar

// A horizontal progress bar whose filled part is painted in one of five styles: a solid colour, a
// fixed green-to-red or red-to-green colour scale, a two-colour user gradient or a user picture.
// The fill level shows as a percentage text centred on the bar.
//
// The bar surface is painted once into a persistent image whenever a style-related property changes
// or the control is resized; setting Value only slides the blind (the unfilled part) over that image
// and changes the percentage text, so a host may set it very often.
//
// Hosts drive the control through its properties, by name (Qt properties) or late-bound by dispatch
// identifier, and save and restore it through a property set (ReadProperties / WriteProperties).
// A control made with the first constructor starts as a newly placed one (InitProperties); a control
// made from a stored property set starts from that set.
class PRISMBAR_EXPORT KXprogressBar : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("ClassId", "{86D2DA1A-9E3C-11D6-94FA-0040F41E0EC7}")
    Q_CLASSINFO("InterfaceId", "{B7ABDC82-A479-11D6-94FA-0040F41E0EC7}")
    Q_CLASSINFO("EventsId", "{B7ABDC87-A479-11D6-94FA-0040F41E0EC7}")
    Q_CLASSINFO("PropertyPageId", "{86D2DA27-9E3C-11D6-94FA-0040F41E0EC7}")
    Q_CLASSINFO("ProgId", "Project1.KXprogressBar")
    Q_CLASSINFO("TypeLibrary", "Project1")
    Q_CLASSINFO("TypeLibraryDescription", "PrismProgressbar")
    Q_CLASSINFO("Description", "Progressbar using gradient colors")
    // Its own page first, then the platform's standard colour and picture pages.
    Q_CLASSINFO("PropertyPages", "{86D2DA27-9E3C-11D6-94FA-0040F41E0EC7};StandardColor;StandardPicture")

    Q_PROPERTY(Appear Appearance READ appearance WRITE setAppearance NOTIFY appearanceChanged)
    Q_PROPERTY(QPixmap SkinPicture READ skinPicture WRITE setSkinPicture NOTIFY skinPictureChanged)
    Q_PROPERTY(bool Percentage READ percentage WRITE setPercentage NOTIFY percentageChanged)
    Q_PROPERTY(Bord BorderStyle READ borderStyle WRITE setBorderStyle NOTIFY borderStyleChanged)
    Q_PROPERTY(bool Enabled READ isControlEnabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(uint ForeColor READ foreColor WRITE setForeColor NOTIFY foreColorChanged)
    Q_PROPERTY(uint PercentColor READ percentColor WRITE setPercentColor NOTIFY percentColorChanged)
    Q_PROPERTY(uint BackColor READ backColor WRITE setBackColor NOTIFY backColorChanged)
    Q_PROPERTY(uint UserRightColor READ userRightColor WRITE setUserRightColor NOTIFY userRightColorChanged)
    Q_PROPERTY(uint UserLeftColor READ userLeftColor WRITE setUserLeftColor NOTIFY userLeftColorChanged)
    Q_PROPERTY(int Value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(int MAX READ maximum WRITE setMAX NOTIFY maxChanged)
    Q_PROPERTY(UserGradient UserStyle READ userStyle WRITE setUserStyle NOTIFY userStyleChanged)
    Q_PROPERTY(Style Styling READ styling WRITE setStyling NOTIFY stylingChanged)
    Q_PROPERTY(QFont Font READ font WRITE setFont NOTIFY fontChanged)

public:
    enum Style : int { Normal = 0, GreenRed = 1, RedGreen = 2, User = 4, Picture = 5 };
    Q_ENUM(Style)
    enum UserGradient : int { Horizontal = 0, Vertical = 1 };
    Q_ENUM(UserGradient)
    enum Bord : int { None = 0, Fixed = 1 };
    Q_ENUM(Bord)
    enum Appear : int { Flat = 0, ThreeD = 1 };
    Q_ENUM(Appear)

    // Dispatch identifiers of the control's interface, as late-binding hosts use them.
    enum DispatchId : qint32 {
        DispAppearance = 0x68030000,
        DispSkinPicture = 0x68030001,
        DispPercentage = 0x68030002,
        DispBorderStyle = 0x68030003,
        DispEnabled = 0x68030004,
        DispForeColor = 0x68030005,
        DispPercentColor = 0x68030006,
        DispBackColor = 0x68030007,
        DispUserRightColor = 0x68030008,
        DispUserLeftColor = 0x68030009,
        DispValue = 0x6803000A,
        DispMAX = 0x6803000B,
        DispUserStyle = 0x6803000C,
        DispStyling = 0x6803000D,
        DispFont = -512,
        DispShowAbout = -552,
        DispUnknown = -1,
    };

    enum class DispatchResult {
        Ok,
        MemberNotFound,  // no property or method with that identifier or name
        TypeMismatch,    // the value cannot be converted to the property's type
        InvalidValue,    // the element holding the property refuses the value
    };

    // Identity of the control as hosts and stored window descriptions know it.
    static constexpr const char* kClassId = "{86D2DA1A-9E3C-11D6-94FA-0040F41E0EC7}";
    static constexpr const char* kInterfaceId = "{B7ABDC82-A479-11D6-94FA-0040F41E0EC7}";
    static constexpr const char* kEventInterfaceId = "{B7ABDC87-A479-11D6-94FA-0040F41E0EC7}";
    static constexpr const char* kProgId = "Project1.KXprogressBar";

    // The persistence names, in the order ReadProperties and WriteProperties use them.
    static const QStringList& persistenceNames();

    // A newly placed control: Initialize, then InitProperties (green-to-red scale at 50 %).
    explicit KXprogressBar(QWidget* parent = nullptr);
    // A saved control: Initialize, then ReadProperties from the set.
    explicit KXprogressBar(const prismbar::PropertyBag& bag, QWidget* parent = nullptr);
    ~KXprogressBar() override;

    Appear appearance() const;
    void setAppearance(Appear appearance);
    QPixmap skinPicture() const;
    void setSkinPicture(const QPixmap& picture);
    bool percentage() const;
    void setPercentage(bool visible);
    Bord borderStyle() const;
    void setBorderStyle(Bord border);
    // The control's own enabled state (QWidget::isEnabled() also follows disabled parents).
    bool isControlEnabled() const;
    uint foreColor() const;
    void setForeColor(uint colour);
    uint percentColor() const;
    void setPercentColor(uint colour);
    uint backColor() const;
    void setBackColor(uint colour);
    uint userRightColor() const;
    void setUserRightColor(uint colour);
    uint userLeftColor() const;
    void setUserLeftColor(uint colour);
    int value() const;
    void setValue(int value);
    int maximum() const;
    void setMAX(int max);
    UserGradient userStyle() const;
    void setUserStyle(UserGradient userStyle);
    // Reading the style while it is Normal removes any picture from the bar surface.
    Style styling();
    void setStyling(Style styling);

    // Late binding. Names are compared without regard to case.
    static qint32 dispatchIdOf(const QString& name);
    static QString nameOfDispatchId(qint32 dispId);
    DispatchResult getProperty(qint32 dispId, QVariant& result);
    DispatchResult putProperty(qint32 dispId, const QVariant& value);
    DispatchResult invoke(qint32 dispId);
    DispatchResult getPropertyByName(const QString& name, QVariant& result);
    DispatchResult putPropertyByName(const QString& name, const QVariant& value);

    // The help text a host's property browser shows for a property; empty when it has none.
    static QString helpText(const QString& property);

    // Shows the about box modally.
    void ShowAbout();

    // Persistence.
    //
    // A host keeps the text form of the control's property set in its window description
    // (see prismbar/TextPropertyBag.h): storedText() gives it, fromStoredText() makes a control from
    // it again. fromStoredText() returns nullptr and says why in *error when the text is not a
    // property set; a set that is well formed but lacks names or holds odd values still gives a
    // control (missing names take their defaults, unusable values leave their property alone).
    static KXprogressBar* fromStoredText(const QString& text, QWidget* parent = nullptr,
                                         QString* error = nullptr);
    QString storedText() const;
    void InitProperties();
    void ReadProperties(const prismbar::PropertyBag& bag);
    void WriteProperties(prismbar::PropertyBag& bag) const;

    // Paints the whole control (border, bar surface, blind and percentage text) in widget
    // coordinates. paintEvent does nothing else.
    void drawControl(QPainter& painter) const;
    QImage renderToImage() const;

    // The procedures behind the properties, for hosts that drive the control step by step.
    void ShowPercent(float percentage);
    void LayoutBar();
    void PaintStyle();
    void Resize();
    void BuildRedGreenScale();
    void BuildGreenRedScale();
    // Copies the source's colours across the target: orientation 1 samples row 3 of the source
    // column by column; any other orientation samples column 3 row by row.
    static void StretchScaleToBar(const prismbar::PictureSurface& source, prismbar::PictureSurface& target,
                                  int orientation);

    // What is painted where, for hosts and tests.
    const prismbar::PictureSurface& barSurface() const;     // the bar (its persistent image)
    const prismbar::PictureSurface& greenRedScale() const;  // 511 columns, green to red
    const prismbar::PictureSurface& redGreenScale() const;  // 511 columns, red to green
    QRect barRect() const;                                  // the bar surface in widget coordinates
    QRect blindRect() const;         // the blind, in bar surface coordinates (may reach past the bar)
    QRectF percentTextRect() const;  // the percentage text, in bar surface coordinates
    QString percentText() const;
    int percentDivisor() const;
    int frameWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void appearanceChanged(KXprogressBar::Appear appearance);
    void skinPictureChanged(const QPixmap& picture);
    void percentageChanged(bool visible);
    void borderStyleChanged(KXprogressBar::Bord border);
    void enabledChanged(bool enabled);
    void foreColorChanged(uint colour);
    void percentColorChanged(uint colour);
    void backColorChanged(uint colour);
    void userRightColorChanged(uint colour);
    void userLeftColorChanged(uint colour);
    void valueChanged(int value);
    void maxChanged(int max);
    void userStyleChanged(KXprogressBar::UserGradient userStyle);
    void stylingChanged(KXprogressBar::Style styling);
    void fontChanged(const QFont& font);
    // Every property change, by property name: the host marks its stored description as modified.
    void propertyChanged(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The property rows reach the state and the layout steps that a stored set bypasses setters for.
    friend struct KXprogressBarProperty;

    void Initialize();
    void showValuePercentage(int divisor);
    void fitBar();
    void frameChanged();
    void centrePercentText();
    void forgetTextMetrics();
    void applyForeColor();
    QFont ambientFont() const;
    void notify(const char* name);

    std::unique_ptr<KXprogressBarPrivate> d;
};
