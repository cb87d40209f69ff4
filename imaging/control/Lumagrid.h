#pragma once

#include "ImgX.h"
#include "LumagridConst.h"
#include "PrintChoice.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <memory>

class ImgMenu;
class frmImage;
class LumagridPropertyBag;
class LumagridDocument;
class PageView;
class SaneScanner;
class QCursor;
class QLineEdit;
class QMimeData;
class QPrinter;
class QScrollBar;
class QTimer;
class ThumbCtl;
class ThumbBuilder;

// Declares a value the viewer keeps for the host (file-format and behaviour options our viewer
// stores and hands on; see docs/lumagrid.md). Reading returns it; writing stores it and reports
// the change under the member's name.
#define LUMAGRID_VALUE(Type, Name)                                                                           \
    Q_PROPERTY(Type Name READ Name WRITE set##Name)                                                          \
    Type Name() const                                                                                        \
    {                                                                                                        \
        return value(QStringLiteral(#Name)).value<Type>();                                                   \
    }                                                                                                        \
    void set##Name(Type v)                                                                                   \
    {                                                                                                        \
        setValue(QStringLiteral(#Name), QVariant::fromValue(v));                                             \
    }

// The image viewer and editor control: a document of one or more image pages, one page shown at a
// time in the page view, with a page counter, a command toolbar and a thumbnail strip.
//
// Members keep the names hosts know. Property pairs are Name() / setName(value); where QWidget
// already owns setName (Enabled, Font, Palette) the write is letName(value). Arguments a host may
// change in an event handler are passed as pointers. Members that only mean something on Windows
// (window and device handles) return 0.
class Lumagrid : public QWidget
{
    Q_OBJECT
    // Members reachable by name (QMetaObject), as a host that binds late reaches them.
    Q_PROPERTY(QObject *Dialog READ Dialog WRITE setDialog)
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName)
    Q_PROPERTY(int PagesNumber READ PagesNumber)
    Q_PROPERTY(bool ThumbsVisible READ ThumbsVisible WRITE setThumbsVisible)
    Q_PROPERTY(WorkingType WorkType READ WorkType WRITE setWorkType)
    Q_PROPERTY(int Page READ Page)
    Q_PROPERTY(int lNumPage READ lNumPage)
    Q_PROPERTY(bool Saved READ Saved)
    Q_PROPERTY(bool ButtonsVisible READ ButtonsVisible WRITE setButtonsVisible)
    Q_PROPERTY(bool AskResSaveAs READ AskResSaveAs WRITE setAskResSaveAs)
    Q_PROPERTY(::ImgX *ImgX READ ImgX WRITE setImgX)
    Q_PROPERTY(::ImgX *Images READ Images)
    Q_PROPERTY(::ImgX *Import READ Import)
    Q_PROPERTY(::ImgX *Export READ Export)
    Q_PROPERTY(::ImgX *Effects READ Effects)
    Q_PROPERTY(::ImgX *Draw READ Draw)
    Q_PROPERTY(ImgXImage Image READ Image WRITE setImage)
    Q_PROPERTY(QObject *Support READ Support)
    Q_PROPERTY(QObject *Render READ Render)
    Q_PROPERTY(QObject *Transforms READ Transforms)
    Q_PROPERTY(QObject *Filters READ Filters)
    Q_PROPERTY(QObject *Channels READ Channels)
    Q_PROPERTY(QObject *ZoomWindow READ ZoomWindow)
    Q_PROPERTY(QColor BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(double Zoom READ Zoom WRITE setZoom)
    Q_PROPERTY(int ZoomVariation READ ZoomVariation WRITE setZoomVariation)
    Q_PROPERTY(bool AutoZoom READ AutoZoom WRITE setAutoZoom)
    Q_PROPERTY(int AutoZoomType READ AutoZoomType WRITE setAutoZoomType)
    Q_PROPERTY(bool Center READ Center WRITE setCenter)
    Q_PROPERTY(int ImageBorderThickness READ ImageBorderThickness WRITE setImageBorderThickness)
    Q_PROPERTY(QColor ImageBorderColor READ ImageBorderColor WRITE setImageBorderColor)
    Q_PROPERTY(bool AntialiasDisplay READ AntialiasDisplay WRITE setAntialiasDisplay)
    Q_PROPERTY(int MouseTool READ MouseTool WRITE setMouseTool)
    Q_PROPERTY(int ScrollBars READ ScrollBars WRITE setScrollBars)
    Q_PROPERTY(double ScrollSmallChange READ ScrollSmallChange WRITE setScrollSmallChange)
    Q_PROPERTY(int ScrollLeft READ ScrollLeft)
    Q_PROPERTY(int ScrollTop READ ScrollTop)
    Q_PROPERTY(int ScaleWidth READ ScaleWidth)
    Q_PROPERTY(int ScaleHeight READ ScaleHeight)
    Q_PROPERTY(bool IsEmpty READ IsEmpty)
    Q_PROPERTY(QString Info READ Info)
    Q_PROPERTY(int MemoryUse READ MemoryUse)
    Q_PROPERTY(int UndoLevels READ UndoLevels WRITE setUndoLevels)
    Q_PROPERTY(int Undos READ Undos)
    Q_PROPERTY(int Redos READ Redos)
    Q_PROPERTY(bool SelectionVisible READ SelectionVisible)
    Q_PROPERTY(int TIFCompression READ TIFCompression WRITE setTIFCompression)
    Q_PROPERTY(int JPGQuality READ JPGQuality WRITE setJPGQuality)
    Q_PROPERTY(bool JPGProgressive READ JPGProgressive WRITE setJPGProgressive)
    Q_PROPERTY(bool PNGInterlaced READ PNGInterlaced WRITE setPNGInterlaced)
    Q_PROPERTY(bool BMPUseRLECompression READ BMPUseRLECompression WRITE setBMPUseRLECompression)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE setAutoSize)
    Q_PROPERTY(QPixmap Picture READ Picture WRITE setPicture)
    Q_PROPERTY(QPixmap MouseIcon READ MouseIcon WRITE setMouseIcon)
    Q_PROPERTY(int MousePointer READ MousePointer WRITE setMousePointer)
    Q_PROPERTY(int hWnd READ hWnd)
    Q_PROPERTY(int hDC READ hDC)
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE setToolTipText)
    Q_PROPERTY(bool Enabled READ Enabled WRITE letEnabled)
    Q_PROPERTY(QFont Font READ Font WRITE letFont)
    Q_PROPERTY(QPixmap Palette READ Palette WRITE letPalette)
    Q_PROPERTY(QPixmap MaskPicture READ MaskPicture WRITE setMaskPicture)
    Q_PROPERTY(QObject *HyperLink READ HyperLink WRITE setHyperLink)
    Q_PROPERTY(QObject *DataMembers READ DataMembers WRITE setDataMembers)
    Q_PROPERTY(QObject *Controls READ Controls WRITE setControls)
public:
    explicit Lumagrid(QWidget *parent = nullptr);
    ~Lumagrid() override;

    // ---- the control's own members ----------------------------------------------------------
    // The engine's file dialog object. Our Save As dialog goes through the prompt helper, so there is
    // no dialog object; null, and a write is kept only.
    QObject *Dialog() const { return m_dialog; }
    void setDialog(QObject *dialog) { m_dialog = dialog; }
    QString FileName() const;
    // Keeps the name (loads nothing). False, with the name kept, for a name under three characters.
    bool setFileName(const QString &name);
    int PagesNumber() const;
    bool ThumbsVisible() const { return m_thumbsVisible; }
    void setThumbsVisible(bool visible);
    WorkingType WorkType() const { return m_workType; }
    void setWorkType(WorkingType type);
    Q_INVOKABLE bool PrintSource(const QString &sFileName);
    Q_INVOKABLE void SelectScannerSource();
    Q_INVOKABLE QVariant Scan(const QString &DefaultSaveName = QString());
    Q_INVOKABLE bool OpenSource(const QString &sFileName, bool bShowError = false);
    Q_INVOKABLE QVariant Pulizia();
    Q_INVOKABLE QVariant ThumbsGenerate();
    Q_INVOKABLE void GoToPage(int PageNumber, bool SkipThumb = false);
    int Page() const;
    int lNumPage() const;
    bool Saved() const;
    Q_INVOKABLE void ShowAboutDialog();
    Q_INVOKABLE bool ConvertImage(const QString &sFileName, const QString &sNewFileNAme, ImgFileType DestFormat);
    Q_INVOKABLE bool ConvertImagePage(const QString &sFileName, const QString &sNewFileNAme, ImgFileType DestFormat,
                          short NPage);
    // Writes the document back. False (error in lastError(), Saved unchanged, no AfterSave) on failure.
    Q_INVOKABLE bool Save();
    bool ButtonsVisible() const { return m_buttonsVisible; }
    void setButtonsVisible(bool visible);
    bool AskResSaveAs() const { return m_askResSaveAs; }
    void setAskResSaveAs(bool ask);

    // ---- engine pass-through members --------------------------------------------------------
    // Objects: our engine's document (::ImgX) carries Images, Import, Export, Effects and Draw.
    ::ImgX *ImgX() const;
    ::ImgX *Images() const { return ImgX(); }
    ::ImgX *Import() const { return ImgX(); }
    ::ImgX *Export() const { return ImgX(); }
    ::ImgX *Effects() const { return ImgX(); }
    ::ImgX *Draw() const { return ImgX(); }
    // Replaces the whole document by another's pages.
    void setImgX(::ImgX *other);
    // The current page; a write replaces it (no change notification).
    ImgXImage Image() const;
    void setImage(const ImgXImage &image);
    // No such objects on our engine (support queries and rendering are free functions in ImgXSupport
    // and ImgXRender): null.
    QObject *Support() const { return nullptr; }
    QObject *Render() const { return nullptr; }
    QObject *Transforms() const { return nullptr; }
    QObject *Filters() const { return nullptr; }
    QObject *Channels() const { return nullptr; }
    QObject *ZoomWindow() const { return nullptr; }

    QColor BackColor() const;
    void setBackColor(const QColor &colour);
    double Zoom() const;
    void setZoom(double zoom);
    int ZoomVariation() const;
    void setZoomVariation(int percent);
    bool AutoZoom() const;
    void setAutoZoom(bool on);
    int AutoZoomType() const;
    void setAutoZoomType(int type);
    bool Center() const;
    void setCenter(bool on);
    int ImageBorderThickness() const;
    void setImageBorderThickness(int px);
    QColor ImageBorderColor() const;
    void setImageBorderColor(const QColor &colour);
    bool AntialiasDisplay() const;
    void setAntialiasDisplay(bool on);
    int MouseTool() const;
    void setMouseTool(int tool);
    int ScrollBars() const;
    void setScrollBars(int which);
    double ScrollSmallChange() const;
    void setScrollSmallChange(double v);
    int ScrollLeft() const;
    int ScrollTop() const;
    Q_INVOKABLE bool ScrollVisible(Qt::Orientation Orientation) const;
    int ScaleWidth() const;
    int ScaleHeight() const;
    bool IsEmpty() const;
    QString Info() const;
    int MemoryUse() const; // kilobytes of decoded pixels
    int UndoLevels() const;
    void setUndoLevels(int levels);
    int Undos() const;
    int Redos() const;
    Q_INVOKABLE void Undo();
    Q_INVOKABLE void Redo();
    Q_INVOKABLE QString UndoText(int *UndoItem = nullptr) const;
    Q_INVOKABLE QString RedoText(int *UndoItem = nullptr) const;
    Q_INVOKABLE void UndoAddLevel(const QString &UndoText);
    Q_INVOKABLE void ScaleImageToFit();
    Q_INVOKABLE void Refresh();
    Q_INVOKABLE void Update();
    bool SelectionVisible() const;
    Q_INVOKABLE void SelectionMove(int Left, int Top, int Width, int Height);
    int TIFCompression() const;
    void setTIFCompression(int c);
    int JPGQuality() const;
    void setJPGQuality(int q);
    bool JPGProgressive() const;
    void setJPGProgressive(bool on);
    bool PNGInterlaced() const;
    void setPNGInterlaced(bool on);
    bool BMPUseRLECompression() const;
    void setBMPUseRLECompression(bool on);
    bool AutoSize() const { return false; }
    void setAutoSize(bool on);
    QPixmap Picture() const;
    void setPicture(const QPixmap &picture);
    QPixmap MouseIcon() const { return m_mouseIcon; }
    void setMouseIcon(const QPixmap &icon);
    int MousePointer() const;
    void setMousePointer(int pointer);
    // Window handles exist only on Windows: always 0.
    int hWnd() const { return 0; }
    int hDC() const { return 0; }

    LUMAGRID_VALUE(int, BorderStyle)
    LUMAGRID_VALUE(bool, WMFPlaceable)
    LUMAGRID_VALUE(bool, WMFForceDefaultDims)
    LUMAGRID_VALUE(int, WMFDefaultWidth)
    LUMAGRID_VALUE(int, WMFDefaultHeight)
    LUMAGRID_VALUE(bool, UpdateOnFileSave)
    LUMAGRID_VALUE(int, SelectionLineType)
    LUMAGRID_VALUE(int, SelectionLineThickness)
    LUMAGRID_VALUE(bool, SelectionEnableMove)
    LUMAGRID_VALUE(bool, ScrollSmooth)
    LUMAGRID_VALUE(bool, ScaleWithDPI)
    LUMAGRID_VALUE(double, PNGGammaWrite)
    LUMAGRID_VALUE(double, PNGGammaRead)
    LUMAGRID_VALUE(int, PCDResolution)
    LUMAGRID_VALUE(int, OLEDropMode)
    LUMAGRID_VALUE(int, OLEDragMode)
    LUMAGRID_VALUE(int, MouseToolShift)
    LUMAGRID_VALUE(int, MouseToolControlShift)
    LUMAGRID_VALUE(int, MouseToolControl)
    LUMAGRID_VALUE(bool, MergeAlpha)
    LUMAGRID_VALUE(int, MagnifierZoomRate)
    LUMAGRID_VALUE(int, MagnifierWidth)
    LUMAGRID_VALUE(int, MagnifierHeight)
    LUMAGRID_VALUE(int, JPGSmoothing)
    LUMAGRID_VALUE(int, JPGMarkersToSave)
    LUMAGRID_VALUE(bool, JPGFormatTags)
    LUMAGRID_VALUE(int, InternetOptionFlags)
    LUMAGRID_VALUE(bool, InternetHideErrorDialog)
    LUMAGRID_VALUE(bool, FireProgressEvent)
    LUMAGRID_VALUE(bool, FireChangedEvent)
    LUMAGRID_VALUE(bool, EnableMouseToolCursors)
    LUMAGRID_VALUE(int, DitherErrorMax)
    LUMAGRID_VALUE(bool, AutoUpdate)

    // Container properties of the page view.
    QString ToolTipText() const;
    void setToolTipText(const QString &text);
    LUMAGRID_VALUE(int, WhatsThisHelpID)
    LUMAGRID_VALUE(bool, CausesValidation)

    // Kept for the host only: writing them changes nothing on screen.
    LUMAGRID_VALUE(int, ForeColor)
    bool Enabled() const { return value(QStringLiteral("Enabled")).toBool(); }
    void letEnabled(bool on) { setValue(QStringLiteral("Enabled"), on); }
    LUMAGRID_VALUE(short, BackStyle)
    LUMAGRID_VALUE(float, ScaleTop)
    LUMAGRID_VALUE(short, ScaleMode)
    LUMAGRID_VALUE(float, ScaleLeft)
    LUMAGRID_VALUE(bool, RightToLeft)
    LUMAGRID_VALUE(short, PaletteMode)
    LUMAGRID_VALUE(int, MaskColor)
    LUMAGRID_VALUE(short, HitBehavior)
    LUMAGRID_VALUE(bool, HasDC)
    LUMAGRID_VALUE(bool, FontUnderline)
    LUMAGRID_VALUE(bool, FontTransparent)
    LUMAGRID_VALUE(bool, FontStrikethru)
    LUMAGRID_VALUE(float, FontSize)
    LUMAGRID_VALUE(QString, FontName)
    LUMAGRID_VALUE(bool, FontItalic)
    LUMAGRID_VALUE(bool, FontBold)
    LUMAGRID_VALUE(short, FillStyle)
    LUMAGRID_VALUE(int, FillColor)
    LUMAGRID_VALUE(short, DrawWidth)
    LUMAGRID_VALUE(short, DrawStyle)
    LUMAGRID_VALUE(short, DrawMode)
    LUMAGRID_VALUE(float, CurrentY)
    LUMAGRID_VALUE(float, CurrentX)
    LUMAGRID_VALUE(int, ContainerHwnd)
    LUMAGRID_VALUE(bool, ClipControls)
    LUMAGRID_VALUE(short, ClipBehavior)
    LUMAGRID_VALUE(bool, AutoRedraw)
    LUMAGRID_VALUE(short, Appearance)
    QFont Font() const { return m_font; }
    void letFont(const QFont &font);
    QPixmap Palette() const { return m_palette; }
    void letPalette(const QPixmap &palette);
    QPixmap MaskPicture() const { return m_maskPicture; }
    void setMaskPicture(const QPixmap &picture);
    QObject *HyperLink() const { return m_hyperLink; }
    void setHyperLink(QObject *o);
    QObject *DataMembers() const { return m_dataMembers; }
    void setDataMembers(QObject *o);
    QObject *Controls() const { return m_controls; }
    void setControls(QObject *o);

    // ---- property persistence (the host's property bag) --------------------------------------
    // A new instance with nothing stored: kept values cleared, strip and toolbar shown, Viewer.
    Q_INVOKABLE void InitProperties();
    // Every stored key applied (a missing key as its default; a value that cannot be taken is
    // skipped). No propertyChanged while loading.
    void ReadProperties(LumagridPropertyBag &bag);
    // Every key written with its default, in the fixed order.
    void WriteProperties(LumagridPropertyBag &bag);
    // The keys in writing order, or in reading order.
    static QStringList propertyNames(bool reading = false);

    // ---- for this library, its hosts' tests and later work ----------------------------------
    LumagridDocument *document() const { return m_doc; }
    PageView *pageView() const { return m_view; }
    ImgMenu *toolbar() const { return m_menu; }
    // True while a thumbnail build is announced or running in this control.
    bool ThumbsLoading() const { return m_thumbsLoading; }
    int ThumbsPerView() const { return m_thumbsPerView; }
    QList<ThumbCtl *> thumbCells() const { return m_cells; }
    // True while a logo floats over the page waiting for the double-click that stamps it.
    bool PlacingLogo() const { return m_placingLogo; }
    // True while an acquisition started by Scan runs.
    bool Scanning() const;
    // The last failure of a member that reports false.
    ImgXError lastError() const { return m_lastError; }
    // The counter text ("n/m" or "0/0").
    QString counterText() const;
    // The control's printer (created on first use): the print commands and PrintSource use it.
    QPrinter *printer();

Q_SIGNALS:
    void Click();
    void DblClick();
    void KeyDown(short *KeyCode, short *Shift);
    void KeyPress(short *KeyAscii);
    void KeyUp(short *KeyCode, short *Shift);
    void MouseDown(short *Button, short *Shift, float *X, float *Y);
    void MouseMove(short *Button, short *Shift, float *X, float *Y);
    void MouseUp(short *Button, short *Shift, float *X, float *Y);
    void ZoomWindowPopupMenu(bool *Cancel);
    void Validate(bool *Cancel);
    void Show();
    void Selected(int Left, int Top, int Width, int Height);
    void SelectChanged(int Left, int Top, int Width, int Height);
    void ScrollChanged();
    void Scroll();
    void Resize();
    void ProgressURL(int BytesRead, int TotalBytes, bool *Cancel);
    void Progress(int Percent, const QString &Description, bool *Cancel);
    void PanChanged();
    void Pan();
    void PaintBefore();
    void PaintAfter();
    void Paint();
    void OLEStartDrag(QMimeData *Data, int *AllowedEffects);
    void OLESetData(QMimeData *Data, short *DataFormat);
    void OLEGiveFeedback(int *Effect, bool *DefaultCursors);
    void OLEDragOver(QMimeData *Data, int *Effect, short *Button, short *Shift, float *X, float *Y,
                     short *State);
    void OLEDragDrop(QMimeData *Data, int *Effect, short *Button, short *Shift, float *X, float *Y);
    void OLECompleteDrag(int *Effect);
    void MouseWheelScroll(int ScrollValue, int Keys);
    void MouseMovePixel(int Button, int Shift, int PixelX, int PixelY);
    void LoadedImage(int Page, ImgXImage *Image, bool *Cancel);
    void HitTest(float *X, float *Y, short *HitResult);
    void Hide();
    void BeforePrint();
    void AfterPrint();
    void BeforeSave();
    void AfterSave();
    void GetDataMember(QString *DataMember, QObject **Data);
    void CustomTransform(double CurrentX, double CurrentY, double *FromX, double *FromY);
    void CurrentImageChanged();
    void Changed();
    void BeforeZoomChanged(double *Zoom);
    void BeforeMouseToolRender(int *StartPointX, int *StartPointY, int *EndPointX, int *EndPointY,
                               bool *Cancel);
    void BeforeMouseToolDraw(int *StartPointX, int *StartPointY, int *EndPointX, int *EndPointY,
                             bool *Cancel);
    void BeforeMouseToolChange(int *NewMouseTool, QCursor *ToolCursor, bool *Cancel);
    void AsyncReadProgress(QObject *AsyncProp);
    void AsyncReadComplete(QObject *AsyncProp);

    // Not one of the control's events: a property changed (the host's property bag listens).
    void propertyChanged(const QString &name);
    // Not one of the control's events: an acquisition started by Scan has ended (ok: no error).
    void scanFinished(bool ok);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class LumagridCommands;
    friend class frmImage;

    QVariant value(const QString &name) const { return m_values.value(name); }
    void setValue(const QString &name, const QVariant &v);
    void notify(const QString &name)
    {
        if (!m_loadingProperties)
            Q_EMIT propertyChanged(name);
    }
    struct PropertyKey;
    static const QList<PropertyKey> &propertyKeys();
    // The container's own slot in the stored settings; nothing else uses it.
    QObject *ActiveControl() const { return m_activeControl; }
    void setActiveControl(QObject *o) { m_activeControl = o; }

    void buildChildren();
    void connectView();
    void layoutChildren();
    int tw(int twips) const; // twips to pixels across
    int th(int twips) const; // twips to pixels down
    void setCounter(const QString &text);
    bool LoadPage();
    void ClearEngine();
    void showCurrentPage();
    void tellDamage();
    void ShowError(const ImgXError &error);
    void setBusy(bool busy, bool background = false);
    void busyMessage();
    void pageKey(short keyCode);

    // Thumbnail strip (LumagridThumbs.cpp).
    void stripLayout();
    void clearCellPictures();
    void hideAllCells();
    ThumbCtl *cell(int index);
    void ensureCells(int count);
    void selectCell(int index);
    void onCellClick(int index);
    void onCellKeyUp(int index, int qtKey);
    void onStripScroll(int value);
    void onShowHide();
    void onTimer1();
    void thumbReady(int index, const QImage &thumb);
    void thumbsFinished(bool stopped);
    void stopBuild();

    // Logo stamping (LumagridLogo.cpp).
    void addLogo();
    void logoPreview(const QImage &logo, QPoint pagePixel, bool useAlpha);
    QImage viewLogo(const QImage &logo, bool useAlpha) const;
    void startPlacingLogo(const QImage &logo, int opacity, bool useAlpha);
    void stampLogo(const QImage &logo, QPoint pagePixel, int opacity, bool useAlpha);
    bool logoMouseDown(float x, float y);
    bool logoMouseMove(float x, float y);
    bool logoDoubleClick();
    void cancelLogo();

    // Scanning (LumagridScan.cpp).
    SaneScanner *scanner();
    void scanOpened();
    void abandonScan();
    void ImageAcquired(const QImage &page, double xDpi, double yDpi);

    // Toolbar (LumagridCommands.cpp).
    void onButtonClick();
    void turnPage(double angle, bool exchangeResolutions);
    bool undoRedo(bool undo);
    void turnAllPages();
    bool SaveAsDialog();
    void ApplyResolution();
    void markingTool(const QString &key);
    void markRectangle(const QRect &pixels);
    static QString jobName(const QString &fileName);
    void printDocument();
    void printerSetup();
    void printError(const ImgXError &error);

    LumagridDocument *m_doc = nullptr;
    PageView *m_view = nullptr;
    ImgMenu *m_menu = nullptr;
    QLineEdit *m_txtPag = nullptr;
    QWidget *m_picShowHide = nullptr;
    QScrollBar *m_thShowHide = nullptr;
    QWidget *m_picExt = nullptr;
    QScrollBar *m_vScroll2 = nullptr;
    QWidget *m_picInt = nullptr;
    QList<ThumbCtl *> m_cells;
    QTimer *m_timer1 = nullptr;
    ThumbBuilder *m_builder = nullptr;

    bool m_thumbsVisible = false;
    WorkingType m_workType = WorkingType(0);
    bool m_stripReady = true;
    bool m_stopThumbs = false;
    bool m_thumbsLoading = false;
    int m_thumbsPerView = 0;
    int m_builtCount = 0;
    bool m_buttonsVisible = true;
    bool m_switchPressed = false;
    bool m_switchUsed = false;
    bool m_askResSaveAs = false;
    int m_saveAsEntry = 2; // Save As entry offered next: the last one chosen, TIF at first
    int m_mousePointer = 0;
    ImgXError m_lastError;

    QHash<QString, QVariant> m_values;
    QFont m_font;
    QPixmap m_palette;
    QPixmap m_maskPicture;
    QPixmap m_mouseIcon;
    QPixmap m_picture;
    QString m_toolTipText; // as the host gave it; the view shows it as plain text
    QPointer<QObject> m_dialog;
    std::unique_ptr<QPrinter> m_printer;
    PrintChoice m_printChoice; // what the last print dialog was left on
    QPointer<QObject> m_hyperLink;
    QPointer<QObject> m_dataMembers;
    QPointer<QObject> m_controls;
    QPointer<QObject> m_activeControl;
    SaneScanner *m_scanner = nullptr;
    // The logo being placed (per control: a second control is never caught in this one's placing).
    bool m_placingLogo = false;
    bool m_draggingLogo = false;
    bool m_logoPlaced = false; // a logo was placed before: the next one starts where it was left
    int m_savedMouseTool = 0;
    QPoint m_logoPos; // viewport pixels
    QPoint m_grab;
    QImage m_logoStamp;
    bool m_logoAlpha = false;
    QString m_pendingScanName;
    bool m_takeScannedPages = false; // pages of the running scan go into the document
    bool m_loadingProperties = false;
};

#undef LUMAGRID_VALUE
