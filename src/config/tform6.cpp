#include "config/tform6.h"

#include "config/orderbox.h"
#include "kiosk/catalogue.h"
#include "kiosk/photorename.h"
#include "kiosk/tileimages.h"
#include "platform/cover.h"
#include "platform/error.h"
#include "platform/guard.h"
#include "platform/platform.h"
#include "platform/widgets/labelededit.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"

#include <QImageReader>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QSignalBlocker>

using namespace Qt::StringLiterals;

namespace {

const QString PhotoFolder = u"图片"_s;
const QString DigitsOnlyText = u"对不起，只能输入数字！"_s;
constexpr int ListRowPixels = 36;

LabeledEdit *edit(const QString &name, const QString &label, const QRect &geometry, QWidget *parent)
{
    auto *box = new LabeledEdit(label, parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    return box;
}

} // namespace

TForm6::TForm6(QWidget *parent) : KioskForm(parent, DialogFlags)
{
    setObjectName(u"Form6"_s);
    setUpWindow(u"图片设置(请点击下方左侧图片文件名列表)"_s);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(u"ListBox1"_s);
    ListBox1->setGeometry(0, 0, 345, 473);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setUniformItemSizes(true);
    // Rows a finger can pick out.
    ListBox1->setStyleSheet(u"QListWidget::item { height: %1px; }"_s.arg(ListRowPixels));
    QFont listFont = ListBox1->font();
    listFont.setPixelSize(16);
    ListBox1->setFont(listFont);

    Image1 = new PictureBox(this);
    Image1->setObjectName(u"Image1"_s);
    Image1->setGeometry(345, 0, 517, 473);
    Image1->setPicture(builtinPicture(u"sky.jpg"_s));

    Image2 = new PictureBox(this);
    Image2->setObjectName(u"Image2"_s);
    Image2->setGeometry(368, 64, 209, 273);
    // The photo keeps its proportions: it covers the preview, the overflow cut off.
    Image2->setScaling(PictureBox::Scaling::Cover);

    LabeledEdit3 =
        edit(u"LabeledEdit3"_s, u"图片序号（4位阿拉伯数字）"_s, QRect(610, 94, 177, 21), this);
    LabeledEdit3->setMaxLength(4);
    LabeledEdit3->installEventFilter(this);
    LabeledEdit1 = edit(u"LabeledEdit1"_s, u"图片标题1文字"_s, QRect(610, 143, 177, 21), this);
    LabeledEdit2 = edit(u"LabeledEdit2"_s, u"图片标题2文字"_s, QRect(610, 192, 177, 21), this);

    // Buttons for a finger: 44 pixels high, grown downwards and to the right within the window.
    RzButton2 = RzButton::create(u"RzButton2"_s, u"关闭"_s, QRect(612, 248, 90, 44), this);
    RzButton1 = RzButton::create(u"RzButton1"_s, u"保存修改"_s, QRect(712, 248, 90, 44), this);
    RzButton2->setPixelHeight(16);
    RzButton1->setPixelHeight(16);

    // The selection changes by pointer or keys; changes the program makes itself block the
    // signal and call the handler where they mean to.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this,
            [this] { platform::guarded(this, [this] { ListBox1Click(); }); });
    connect(RzButton1, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { RzButton1Click(); }); });
    connect(RzButton2, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { RzButton2Click(); }); });

    setTabOrder(ListBox1, LabeledEdit1);
    setTabOrder(LabeledEdit1, LabeledEdit2);
    setTabOrder(LabeledEdit2, LabeledEdit3);
    setTabOrder(LabeledEdit3, RzButton1);
    setTabOrder(RzButton1, RzButton2);

    runCreate();
}

int TForm6::selectedRow() const
{
    const QList<QListWidgetItem *> selected = ListBox1->selectedItems();
    return selected.isEmpty() ? -1 : ListBox1->row(selected.first());
}

void TForm6::refillList()
{
    const QSignalBlocker blocker(ListBox1);
    ListBox1->clear();
    // The listing is taken from the executable's folder.
    ListBox1->addItems(ListPictureFiles(platform::exePath(PhotoFolder)));
}

void TForm6::FormShow()
{
    refillList();
    // Selecting the first entry of an empty list is the toolkit's index error; it ends the
    // handler, so the preview and boxes stay as they were.
    if (ListBox1->count() == 0)
        throw KioskError(u"列表索引越界 (0)"_s);
    {
        const QSignalBlocker blocker(ListBox1);
        ListBox1->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    }
    ListBox1Click();
}

void TForm6::ListBox1Click()
{
    // One guarded block that ends silently: without a selection or with a picture that cannot
    // be loaded, the preview and all three boxes keep what they showed before.
    try {
        const int row = selectedRow();
        if (row < 0)
            return;
        const QString name = ListBox1->item(row)->text();
        // The picture is loaded from the current directory, in the format its extension names,
        // at the size that covers the preview with its proportions kept. A link leading out of
        // the photo folder is never opened.
        const QString file = photoPathIn(platform::workPath(PhotoFolder), name);
        const QSize full = file.isEmpty() ? QSize() : QImageReader(file).size();
        const QImage picture = tileimages::loadByExtension(
            file, full.isValid() ? cover::coveringSize(full, Image2->size()) : Image2->size());
        if (picture.isNull())
            return;
        const Captions captions = SplitPhotoName(name);
        Image2->setPicture(picture);
        LabeledEdit1->setText(captions.line1);
        LabeledEdit2->setText(captions.line2);
        LabeledEdit3->setText(orderNumberOf(name));
    } catch (...) {
    }
}

void TForm6::RzButton1Click()
{
    // One guarded block that ends silently; the outcome of the rename is not reported.
    try {
        const int row = selectedRow();
        if (row < 0)
            return;
        const QString oldName = ListBox1->item(row)->text();
        // A photo keeps its own extension: a ".png" stays a PNG, a camera's ".JPG" stays.
        const QString newName = composePhotoName(LabeledEdit3->text(), LabeledEdit1->text(),
                                                 LabeledEdit2->text(), renamedExtension(oldName));
        // Relative to the current directory, like the preview. A name that exists already, or
        // one that would leave the folder, is refused and the file keeps its old name; the
        // window says nothing either way and lists the folder anew.
        renamePhoto(platform::workPath(PhotoFolder), oldName, newName);
        // Nothing is selected afterwards; the preview and the boxes keep their contents.
        refillList();
    } catch (...) {
    }
}

void TForm6::RzButton2Click()
{
    // The main window lists the photo folder only at start, so the program starts anew.
    platform::services().restart();
}

void TForm6::LabeledEdit3KeyPress(QChar &Key)
{
    if (orderbox::accepts(Key))
        return;
    Key = QChar(0);
    platform::services().message(this, DigitsOnlyText);
}

bool TForm6::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != LabeledEdit3)
        return KioskForm::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (orderbox::passesUnchecked(key->key(), key->text()))
            return false;
        bool dropped = false;
        platform::guarded(this, [&] {
            for (QChar typed : orderbox::typedCharacters(key->key(), key->text())) {
                LabeledEdit3KeyPress(typed);
                if (typed.isNull()) {
                    dropped = true;
                    break;
                }
            }
        });
        return dropped;
    }

    if (event->type() == QEvent::InputMethod) {
        // Text committed by an input method is typed text as well: what comes before the first
        // refused character is kept, and the refusal is said once.
        auto *im = static_cast<QInputMethodEvent *>(event);
        const QString text = im->commitString();
        const QString kept = orderbox::keptPart(text);
        if (kept != text) {
            platform::guarded(this, [&] {
                QChar refused = text.at(kept.size());
                LabeledEdit3KeyPress(refused);
            });
            im->setCommitString(kept);
        }
    }
    return false;
}
