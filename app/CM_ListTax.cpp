#include "app/CM_ListTax.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <QTreeWidget>

#include "framework/CFrameWnd.h"
#include "framework/AppSeam.h"
#include "base/Format.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "core/UiSeam.h"
#include "pendra/Mandate.h"
#include "core/PendraUiBridge.h"
#include "pendra/PendraStatus.h"
#include "pendra/StorageEngine.h"
#include "res/Resource.h"
#include "rules/ConvertTable.h"
#include "commands/KeyOverview.h"

namespace {

// Column starts of both lists in dialog units, under the heading texts.
constexpr int kTabStops[] = {38, 71, 106};
constexpr int kDialogWidthUnits = 439;
constexpr int kDialogHeightUnits = 190;
constexpr int kPartnerRole = Qt::UserRole;
constexpr int kColumnPadding = 12;

// Dialog units to pixels, from the dialog font's average character size.
int UnitsX(const QFontMetrics& m, int units) { return units * m.averageCharWidth() / 4; }
int UnitsY(const QFontMetrics& m, int units) { return units * m.height() / 8; }

QTreeWidget* NewList(const char* name, std::initializer_list<int> headingIds) {
    auto* list = new QTreeWidget;
    list->setObjectName(QLatin1String(name));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QStringList headings;
    for (int id : headingIds) headings << Q(LoadString(id));
    list->setHeaderLabels(headings);
    list->header()->setSectionsClickable(false);
    list->header()->setStretchLastSection(true);
    const QFontMetrics metrics(list->font());
    int start = 0;
    for (int column = 0; column + 1 < list->columnCount(); ++column) {
        list->setColumnWidth(column, UnitsX(metrics, kTabStops[column] - start));
        start = kTabStops[column];
    }
    return list;
}

}  // namespace

CM_ListTax::CM_ListTax(Mandate& mandate, LogSink& log, QWidget* parent)
    : QDialog(parent), mandate_(&mandate), log_(log) {
    setObjectName(QStringLiteral("listTaxDialog"));
    BuildLayout();
}

CM_ListTax::~CM_ListTax() = default;

void CM_ListTax::BuildLayout() {
    left_ = NewList("list1022", {30551, 30552, 30553, 30554});
    right_ = NewList("list1023", {30555, 30556, 30557});
    auto* leftCaption = new QLabel(Q(LoadString(30558)));
    auto* rightCaption = new QLabel(Q(LoadString(30559)));
    auto* buttons = new QDialogButtonBox;
    QPushButton* close = buttons->addButton(Q(LoadString(30002)), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("closeButton"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(left_, 0, 0);
    grid->addWidget(right_, 0, 1);
    grid->addWidget(leftCaption, 1, 0);
    grid->addWidget(rightCaption, 1, 1);
    grid->addWidget(buttons, 2, 0, 1, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    setSizeGripEnabled(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(left_, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelchangeList(); });
    connect(right_, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelchangeList2(); });
    const QFontMetrics metrics(font());
    resize(UnitsX(metrics, kDialogWidthUnits), UnitsY(metrics, kDialogHeightUnits));
}

std::string CM_ListTax::FormatText(const std::string& id, float rate, bool netto,
                                   const std::string& konto, RowType type) const {
    return KeyOverviewRow(id, rate, netto, konto, static_cast<KeyOverview::RowType>(type));
}

void CM_ListTax::AddRow(QTreeWidget* list, const std::string& text, int partner) {
    auto* item = new QTreeWidgetItem(Q(text).split('\t'));
    item->setData(0, kPartnerRole, partner);
    list->addTopLevelItem(item);
}

bool CM_ListTax::OnInitDialog() {
    KeyOverview overview;
    bool opened = false;
    const ConvertTable table(mandate_->GetPath());
    UiSeam& seam = AppSeam::Current();
    // The verdict the commands and the status give on the mandate's tables.
    if (std::string damage; mandate_->Engine() && mandate_->Engine()->CheckIntegrity(damage) != pendra::kOk) {
        log_.CountFailure();
        seam.MessageBox({Format(LoadString(IDS_MANDATE_DAMAGED), mandate_->GetPath(), damage), LoadString(IDS_TITLE),
                         MB_OK | MB_ICONEXCLAMATION, IDS_MANDATE_DAMAGED});
        return false;
    }
    const int status = ReadKeyOverview(*mandate_, table, seam, overview, opened);
    if (!opened) {
        ShowLibraryError(seam, 5000, mandate_->GetLastName(), status);
        return false;
    }
    // A key file that cannot be read to its end would show a list that looks
    // complete: the overview is not shown then.
    if (status != pendra::kOk) {
        log_.CountFailure();
        ShowLibraryError(seam, 5000, mandate_->GetTaxName(), status);
        return false;
    }
    setWindowTitle(Q(overview.title));
    left_->setUpdatesEnabled(false);
    for (std::size_t row = 0; row < overview.leftRows.size(); ++row) {
        AddRow(left_, overview.leftRows[row], static_cast<int>(row));
        AddRow(right_, overview.rightRows[row], static_cast<int>(row));
    }
    left_->setUpdatesEnabled(true);
    FitColumns();
    if (left_->topLevelItemCount() > 0) {
        left_->setCurrentItem(left_->topLevelItem(0));
        left_->setFocus();
    }
    return true;
}

void CM_ListTax::FitColumns() {
    // Each column at least as wide as its tab stop, and as its widest text:
    // the rates are what the overview is for ("8.1%"). The last column
    // takes what room is left, so it grows with the dialog.
    for (QTreeWidget* list : {left_, right_}) {
        const QFontMetrics metrics(list->font());
        const int margin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1) +
                           kColumnPadding;
        int listWidth = 2 * list->frameWidth() + list->verticalScrollBar()->sizeHint().width();
        for (int column = 0; column < list->columnCount(); ++column) {
            int content = list->header()->sectionSizeHint(column);
            for (int row = 0; row < list->topLevelItemCount(); ++row)
                content = std::max(content, metrics.horizontalAdvance(list->topLevelItem(row)->text(column)) + margin);
            if (column + 1 < list->columnCount()) {
                content = std::max(content, list->columnWidth(column));
                list->setColumnWidth(column, content);
            }
            listWidth += content;
        }
        list->setMinimumWidth(listWidth);
    }
    if (layout()) layout()->activate();
    resize(std::max(width(), minimumSizeHint().width()), height());
}

int CM_ListTax::DoModal() {
    if (!OnInitDialog()) return IDCANCEL;
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CM_ListTax::OnSelchangeList() {
    if (linking_) return;
    QTreeWidgetItem* current = left_->currentItem();
    const int leftRow = current && current->isSelected() ? left_->indexOfTopLevelItem(current) : -1;
    linking_ = true;
    right_->clearSelection();
    for (int row = 0; row < right_->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = right_->topLevelItem(row);
        if (leftRow >= 0 && item->data(0, kPartnerRole).toInt() == leftRow) {
            right_->setCurrentItem(item);
            break;
        }
    }
    linking_ = false;
}

void CM_ListTax::OnSelchangeList2() {
    if (linking_) return;
    const QTreeWidgetItem* current = right_->currentItem();
    if (!current || !current->isSelected()) return;
    linking_ = true;
    if (QTreeWidgetItem* partner = left_->topLevelItem(current->data(0, kPartnerRole).toInt()))
        left_->setCurrentItem(partner);
    linking_ = false;
}
