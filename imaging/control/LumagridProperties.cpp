// Property persistence of Lumagrid: the keys, their order and defaults, and the three calls a host
// makes (new instance, load, save) through its property bag.
#include "Lumagrid.h"

#include "ImgMenu.h"
#include "ImgXSupport.h"
#include "LumagridPropertyBag.h"
#include "PageView.h"

#include <QApplication>
#include <QBuffer>
#include <QSettings>

#include <climits>
#include <cstdint>
#include <functional>

using namespace Qt::StringLiterals;

// ---- the settings bag ----------------------------------------------------------------------------

LumagridSettingsBag::LumagridSettingsBag(QSettings &settings, const QString &group)
    : m_settings(settings), m_group(group)
{}

QVariant LumagridSettingsBag::ReadProperty(const QString &name, const QVariant &defaultValue)
{
    m_settings.beginGroup(m_group);
    const QVariant v = m_settings.value(name, defaultValue);
    m_settings.endGroup();
    return v;
}

void LumagridSettingsBag::WriteProperty(const QString &name, const QVariant &value,
                                        const QVariant &defaultValue)
{
    m_settings.beginGroup(m_group);
    const bool object = value.metaType().flags().testFlag(QMetaType::PointerToQObject);
    if (object || !value.isValid() || value == defaultValue)
        m_settings.remove(name);
    else
        m_settings.setValue(name, value);
    m_settings.endGroup();
}

// ---- keys ------------------------------------------------------------------------------------------

namespace {

constexpr quint32 kButtonFace = 0x8000000F; // the system's button-face colour
// The colour values last read from the store, kept so that a system colour is written back as one.
constexpr const char *kStoredBackColor = "storedBackColor";
constexpr const char *kStoredBorderColor = "storedImageBorderColor";

QByteArray pictureBytes(const QPixmap &p)
{
    if (p.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    p.save(&buffer, "PNG");
    return bytes;
}

bool pictureFrom(const QVariant &v, QPixmap *out)
{
    const QByteArray bytes = v.toByteArray();
    if (bytes.isEmpty()) {
        *out = QPixmap();
        return true;
    }
    return out->loadFromData(bytes, "PNG");
}

// A system colour (0x80000000 + index) as the palette role that plays its part here.
bool systemColour(quint32 ole, QColor *out)
{
    if ((ole & 0xffffff00u) != 0x80000000u || (ole & 0xffu) > 30)
        return false;
    struct Role
    {
        QPalette::ColorGroup group;
        QPalette::ColorRole role;
    };
    constexpr auto A = QPalette::Active, I = QPalette::Inactive, D = QPalette::Disabled;
    static constexpr Role roles[31] = {
        {A, QPalette::Midlight},        // 0 scroll bar
        {A, QPalette::Dark},            // 1 desktop
        {A, QPalette::Highlight},       // 2 active caption
        {I, QPalette::Highlight},       // 3 inactive caption
        {A, QPalette::Window},          // 4 menu
        {A, QPalette::Base},            // 5 window
        {A, QPalette::Shadow},          // 6 window frame
        {A, QPalette::WindowText},      // 7 menu text
        {A, QPalette::Text},            // 8 window text
        {A, QPalette::HighlightedText}, // 9 caption text
        {A, QPalette::Window},          // 10 active border
        {I, QPalette::Window},          // 11 inactive border
        {A, QPalette::Mid},             // 12 application workspace
        {A, QPalette::Highlight},       // 13 highlight
        {A, QPalette::HighlightedText}, // 14 highlighted text
        {A, QPalette::Button},          // 15 button face
        {A, QPalette::Dark},            // 16 button shadow
        {D, QPalette::Text},            // 17 grey text
        {A, QPalette::ButtonText},      // 18 button text
        {I, QPalette::HighlightedText}, // 19 inactive caption text
        {A, QPalette::Light},           // 20 button highlight
        {A, QPalette::Shadow},          // 21 3D dark shadow
        {A, QPalette::Midlight},        // 22 3D light
        {A, QPalette::ToolTipText},     // 23 tooltip text
        {A, QPalette::ToolTipBase},     // 24 tooltip background
        {A, QPalette::Window},          // 25 (unused)
        {A, QPalette::Link},            // 26 hot tracking
        {A, QPalette::Highlight},       // 27 active caption gradient
        {I, QPalette::Highlight},       // 28 inactive caption gradient
        {A, QPalette::Highlight},       // 29 menu highlight
        {A, QPalette::Window},          // 30 menu bar
    };
    const Role &r = roles[ole & 0xffu];
    *out = QApplication::palette().color(r.group, r.role);
    return true;
}

// The stored form of a colour: the system colour it was read as while it still shows that colour
// (so a stored system colour goes back as one), the button face, or the plain colour.
quint32 oleOf(const QColor &c, const QVariant &readAs = {})
{
    QColor system;
    if (readAs.isValid() && systemColour(readAs.toUInt(), &system) && system == c)
        return readAs.toUInt();
    if (c == QApplication::palette().color(QPalette::Button))
        return kButtonFace;
    return ImgXSupport::oleColour(c);
}

// Any colour a host stores: 0x00BBGGRR, a palette-relative 0x02BBGGRR, or a system colour
// 0x80000000 + index (0 to 30); hosts with signed 32-bit numbers store the last as negatives.
bool colourFrom(const QVariant &v, QColor *out, quint32 *ole = nullptr)
{
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < qlonglong(INT32_MIN) || n > qlonglong(UINT32_MAX))
        return false;
    const quint32 value = quint32(n);
    if (ole)
        *ole = value;
    switch (value >> 24) {
    case 0x00:
    case 0x02:
        *out = ImgXSupport::colour(value & 0xffffffu);
        return true;
    case 0x80:
        return systemColour(value, out);
    default:
        return false;
    }
}

template <typename T> bool take(const QVariant &v, T *out)
{
    QVariant c = v;
    if (!c.convert(QMetaType::fromType<T>()))
        return false;
    *out = c.value<T>();
    return true;
}

} // namespace

struct Lumagrid::PropertyKey
{
    QString name;
    QVariant defaultValue;
    std::function<QVariant(Lumagrid &)> get;
    std::function<bool(Lumagrid &, const QVariant &)> set; // false: the value was not taken
};

// Members of one type, read and written through their own pair.
#define LG_KEY(Type, Name, Default, Setter)                                                                  \
    PropertyKey                                                                                              \
    {                                                                                                        \
        QStringLiteral(#Name), QVariant::fromValue<Type>(Default),                                           \
            [](Lumagrid &c) { return QVariant::fromValue<Type>(c.Name()); },                                 \
            [](Lumagrid &c, const QVariant &v) {                                                             \
                Type t{};                                                                                    \
                if (!take<Type>(v, &t))                                                                      \
                    return false;                                                                            \
                c.Setter(t);                                                                                 \
                return true;                                                                                 \
            }                                                                                                \
    }
// Colours kept as numbers for the host: any stored colour is taken (system colours too), as stored.
#define LG_COLOUR(Name, Setter)                                                                              \
    PropertyKey                                                                                              \
    {                                                                                                        \
        QStringLiteral(#Name), QVariant::fromValue<int>(0),                                                  \
            [](Lumagrid &c) { return QVariant::fromValue<int>(c.Name()); },                                  \
            [](Lumagrid &c, const QVariant &v) {                                                             \
                QColor colour;                                                                               \
                quint32 ole = 0;                                                                             \
                if (!colourFrom(v, &colour, &ole))                                                           \
                    return false;                                                                            \
                c.Setter(int(ole));                                                                          \
                return true;                                                                                 \
            }                                                                                                \
    }
#define LG_PICTURE(Name, Setter)                                                                             \
    PropertyKey                                                                                              \
    {                                                                                                        \
        QStringLiteral(#Name), QVariant(QByteArray()),                                                       \
            [](Lumagrid &c) { return QVariant(pictureBytes(c.Name())); },                                    \
            [](Lumagrid &c, const QVariant &v) {                                                             \
                QPixmap p;                                                                                   \
                if (!pictureFrom(v, &p))                                                                     \
                    return false;                                                                            \
                c.Setter(p);                                                                                 \
                return true;                                                                                 \
            }                                                                                                \
    }
#define LG_OBJECT(Name, Setter)                                                                              \
    PropertyKey                                                                                              \
    {                                                                                                        \
        QStringLiteral(#Name), QVariant::fromValue<QObject *>(nullptr),                                      \
            [](Lumagrid &c) { return QVariant::fromValue<QObject *>(c.Name()); },                            \
            [](Lumagrid &c, const QVariant &v) {                                                             \
                if (!v.metaType().flags().testFlag(QMetaType::PointerToQObject) && v.isValid() &&            \
                    !v.isNull())                                                                             \
                    return false;                                                                            \
                c.Setter(v.value<QObject *>());                                                              \
                return true;                                                                                 \
            }                                                                                                \
    }

// The 100 keys in writing order.
const QList<Lumagrid::PropertyKey> &Lumagrid::propertyKeys()
{
    static const QList<PropertyKey> keys = {
        {u"BackColor"_s, QVariant(kButtonFace),
         [](Lumagrid &c) { return QVariant(oleOf(c.BackColor(), c.property(kStoredBackColor))); },
         [](Lumagrid &c, const QVariant &v) {
             QColor colour;
             quint32 ole = 0;
             if (!colourFrom(v, &colour, &ole))
                 return false;
             c.m_view->setBackColor(colour);
             c.setProperty(kStoredBackColor, ole);
             return true;
         }},
        LG_COLOUR(ForeColor, setForeColor),
        LG_KEY(bool, Enabled, false, letEnabled),
        {u"Font"_s, QVariant(QApplication::font().toString()),
         [](Lumagrid &c) { return QVariant(c.Font().toString()); },
         [](Lumagrid &c, const QVariant &v) {
             QFont f;
             if (!f.fromString(v.toString()))
                 return false;
             c.letFont(f);
             return true;
         }},
        LG_KEY(short, BackStyle, 0, setBackStyle),
        LG_KEY(int, BorderStyle, 6, setBorderStyle),
        LG_KEY(int, ZoomVariation, 10, setZoomVariation),
        LG_KEY(double, Zoom, 1.0, setZoom),
        LG_KEY(bool, WMFPlaceable, true, setWMFPlaceable),
        LG_KEY(bool, WMFForceDefaultDims, true, setWMFForceDefaultDims),
        LG_KEY(int, WMFDefaultWidth, 640, setWMFDefaultWidth),
        LG_KEY(int, WMFDefaultHeight, 480, setWMFDefaultHeight),
        LG_KEY(int, WhatsThisHelpID, 0, setWhatsThisHelpID),
        LG_KEY(bool, UpdateOnFileSave, true, setUpdateOnFileSave),
        LG_KEY(int, UndoLevels, 5, setUndoLevels),
        LG_KEY(QString, ToolTipText, QString(), setToolTipText),
        LG_KEY(int, TIFCompression, 0, setTIFCompression),
        LG_KEY(int, SelectionLineType, 0, setSelectionLineType),
        LG_KEY(int, SelectionLineThickness, 1, setSelectionLineThickness),
        LG_KEY(bool, SelectionEnableMove, false, setSelectionEnableMove),
        LG_KEY(bool, ScrollSmooth, true, setScrollSmooth),
        LG_KEY(double, ScrollSmallChange, 1.0, setScrollSmallChange),
        LG_KEY(int, ScrollBars, 3, setScrollBars),
        LG_KEY(bool, ScaleWithDPI, true, setScaleWithDPI),
        LG_KEY(float, ScaleTop, 0.0f, setScaleTop),
        LG_KEY(short, ScaleMode, 0, setScaleMode),
        LG_KEY(float, ScaleLeft, 0.0f, setScaleLeft),
        LG_KEY(bool, RightToLeft, false, setRightToLeft),
        LG_KEY(bool, PNGInterlaced, false, setPNGInterlaced),
        LG_KEY(double, PNGGammaWrite, 0.0, setPNGGammaWrite),
        LG_KEY(double, PNGGammaRead, 0.0, setPNGGammaRead),
        // The page is the document, not a setting: never written; a stored picture is shown.
        {u"Picture"_s, QVariant(QByteArray()), [](Lumagrid &) { return QVariant(QByteArray()); },
         [](Lumagrid &c, const QVariant &v) {
             QPixmap p;
             if (!pictureFrom(v, &p))
                 return false;
             if (!p.isNull())
                 c.setPicture(p);
             return true;
         }},
        LG_KEY(int, PCDResolution, 2, setPCDResolution),
        LG_KEY(short, PaletteMode, 0, setPaletteMode),
        LG_PICTURE(Palette, letPalette),
        LG_KEY(int, OLEDropMode, 0, setOLEDropMode),
        LG_KEY(int, OLEDragMode, 0, setOLEDragMode),
        LG_KEY(int, MouseToolShift, 0, setMouseToolShift),
        LG_KEY(int, MouseToolControlShift, 0, setMouseToolControlShift),
        LG_KEY(int, MouseToolControl, 0, setMouseToolControl),
        LG_KEY(int, MouseTool, 0, setMouseTool),
        LG_KEY(int, MousePointer, 0, setMousePointer),
        LG_PICTURE(MouseIcon, setMouseIcon),
        LG_KEY(bool, MergeAlpha, true, setMergeAlpha),
        LG_PICTURE(MaskPicture, setMaskPicture),
        LG_COLOUR(MaskColor, setMaskColor),
        LG_KEY(int, MagnifierZoomRate, 2, setMagnifierZoomRate),
        LG_KEY(int, MagnifierWidth, 100, setMagnifierWidth),
        LG_KEY(int, MagnifierHeight, 100, setMagnifierHeight),
        LG_KEY(int, JPGSmoothing, 0, setJPGSmoothing),
        LG_KEY(int, JPGQuality, 75, setJPGQuality),
        LG_KEY(bool, JPGProgressive, false, setJPGProgressive),
        LG_KEY(int, JPGMarkersToSave, 0, setJPGMarkersToSave),
        LG_KEY(bool, JPGFormatTags, true, setJPGFormatTags),
        LG_KEY(int, InternetOptionFlags, 0x400000, setInternetOptionFlags),
        LG_KEY(bool, InternetHideErrorDialog, false, setInternetHideErrorDialog),
        LG_KEY(int, ImageBorderThickness, 0, setImageBorderThickness),
        {u"ImageBorderColor"_s, QVariant(quint32(0)),
         [](Lumagrid &c) { return QVariant(oleOf(c.ImageBorderColor(), c.property(kStoredBorderColor))); },
         [](Lumagrid &c, const QVariant &v) {
             QColor colour;
             quint32 ole = 0;
             if (!colourFrom(v, &colour, &ole))
                 return false;
             c.m_view->setImageBorderColor(colour);
             c.setProperty(kStoredBorderColor, ole);
             return true;
         }},
        // Like the picture, the page is never written; it is never read back either.
        {u"Image"_s, QVariant(QByteArray()), [](Lumagrid &) { return QVariant(QByteArray()); }, {}},
        LG_OBJECT(HyperLink, setHyperLink),
        LG_KEY(short, HitBehavior, 0, setHitBehavior),
        LG_KEY(bool, HasDC, false, setHasDC),
        LG_KEY(bool, FontUnderline, false, setFontUnderline),
        LG_KEY(bool, FontTransparent, false, setFontTransparent),
        LG_KEY(bool, FontStrikethru, false, setFontStrikethru),
        LG_KEY(float, FontSize, 0.0f, setFontSize),
        LG_KEY(QString, FontName, QString(), setFontName),
        LG_KEY(bool, FontItalic, false, setFontItalic),
        LG_KEY(bool, FontBold, false, setFontBold),
        LG_KEY(bool, FireProgressEvent, false, setFireProgressEvent),
        LG_KEY(bool, FireChangedEvent, true, setFireChangedEvent),
        LG_KEY(short, FillStyle, 0, setFillStyle),
        LG_COLOUR(FillColor, setFillColor),
        LG_KEY(bool, EnableMouseToolCursors, true, setEnableMouseToolCursors),
        LG_KEY(short, DrawWidth, 0, setDrawWidth),
        LG_KEY(short, DrawStyle, 0, setDrawStyle),
        LG_KEY(short, DrawMode, 0, setDrawMode),
        LG_KEY(int, DitherErrorMax, 20, setDitherErrorMax),
        LG_OBJECT(DataMembers, setDataMembers),
        LG_KEY(float, CurrentY, 0.0f, setCurrentY),
        LG_KEY(float, CurrentX, 0.0f, setCurrentX),
        LG_OBJECT(Controls, setControls),
        LG_KEY(int, ContainerHwnd, 0, setContainerHwnd),
        LG_KEY(bool, ClipControls, false, setClipControls),
        LG_KEY(short, ClipBehavior, 0, setClipBehavior),
        // One default both ways (the view centres the page unless told otherwise).
        LG_KEY(bool, Center, true, setCenter),
        LG_KEY(bool, CausesValidation, true, setCausesValidation),
        LG_KEY(bool, BMPUseRLECompression, false, setBMPUseRLECompression),
        LG_KEY(int, AutoZoomType, 1, setAutoZoomType),
        LG_KEY(bool, AutoZoom, false, setAutoZoom),
        LG_KEY(bool, AutoUpdate, true, setAutoUpdate),
        LG_KEY(bool, AutoSize, false, setAutoSize),
        LG_KEY(bool, AutoRedraw, false, setAutoRedraw),
        LG_KEY(short, Appearance, 0, setAppearance),
        LG_KEY(bool, AntialiasDisplay, false, setAntialiasDisplay),
        LG_OBJECT(ActiveControl, setActiveControl),
        {u"WorkType"_s, QVariant(int(Viewer)), [](Lumagrid &c) { return QVariant(int(c.WorkType())); },
         [](Lumagrid &c, const QVariant &v) {
             int t = 0;
             if (!take<int>(v, &t))
                 return false;
             c.setWorkType(WorkingType(t));
             return true;
         }},
        LG_KEY(bool, ThumbsVisible, true, setThumbsVisible),
        LG_KEY(bool, ButtonsVisible, true, setButtonsVisible),
        {u"AskResSaveAs"_s, QVariant(false), [](Lumagrid &c) { return QVariant(c.AskResSaveAs()); },
         [](Lumagrid &c, const QVariant &v) {
             bool on = false;
             if (!take<bool>(v, &on))
                 return false;
             c.m_askResSaveAs = on;
             return true;
         }},
    };
    return keys;
}

#undef LG_KEY
#undef LG_PICTURE
#undef LG_OBJECT

QStringList Lumagrid::propertyNames(bool reading)
{
    QStringList names;
    for (const PropertyKey &k : propertyKeys())
        names << k.name;
    if (!reading)
        return names;
    names.removeOne(u"Image"_s);
    // The control's own settings come last, the container's slot after them.
    for (const QString &last :
         {u"ButtonsVisible"_s, u"AskResSaveAs"_s, u"WorkType"_s, u"ThumbsVisible"_s, u"ActiveControl"_s}) {
        names.removeOne(last);
        names << last;
    }
    return names;
}

void Lumagrid::InitProperties()
{
    m_loadingProperties = true;
    for (const char *name : {"ForeColor", "MaskColor", "FillColor", "ContainerHwnd"})
        m_values.insert(QString::fromLatin1(name), 0);
    for (const char *name : {"Enabled", "RightToLeft", "HasDC", "FontUnderline", "FontTransparent",
                             "FontStrikethru", "FontItalic", "FontBold", "ClipControls", "AutoRedraw"})
        m_values.insert(QString::fromLatin1(name), false);
    for (const char *name : {"BackStyle", "ScaleMode", "PaletteMode", "HitBehavior", "FillStyle", "DrawWidth",
                             "DrawStyle", "DrawMode", "ClipBehavior", "Appearance"})
        m_values.insert(QString::fromLatin1(name), QVariant::fromValue<short>(0));
    for (const char *name : {"ScaleTop", "ScaleLeft", "FontSize", "CurrentY", "CurrentX"})
        m_values.insert(QString::fromLatin1(name), QVariant::fromValue<float>(0));
    m_values.insert(u"FontName"_s, QString());
    m_font = QApplication::font();
    m_palette = QPixmap();
    m_maskPicture = QPixmap();
    m_buttonsVisible = true;
    m_menu->setVisible(true);
    m_askResSaveAs = false;
    setWorkType(Viewer);
    setThumbsVisible(true);
    m_loadingProperties = false;
}

// Every key in reading order; a key whose value cannot be taken is skipped.
void Lumagrid::ReadProperties(LumagridPropertyBag &bag)
{
    QHash<QString, const PropertyKey *> byName;
    for (const PropertyKey &k : propertyKeys())
        byName.insert(k.name, &k);
    m_loadingProperties = true;
    for (const QString &name : propertyNames(true)) {
        const PropertyKey *k = byName.value(name);
        if (!k || !k->set)
            continue;
        k->set(*this, bag.ReadProperty(name, k->defaultValue));
    }
    m_loadingProperties = false;
}

void Lumagrid::WriteProperties(LumagridPropertyBag &bag)
{
    for (const PropertyKey &k : propertyKeys())
        bag.WriteProperty(k.name, k.get(*this), k.defaultValue);
}
