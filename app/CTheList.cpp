#include "app/CTheList.h"

#include <QFontMetrics>
#include <algorithm>
#include <QHeaderView>
#include <QTreeWidget>

#include "framework/CFrameWnd.h"
#include "core/Strings.h"
#include "mandate/MandateStatus.h"
#include "res/Resource.h"

namespace {
constexpr int kColumnPadding = 15;
// The directory column grows with the paths it shows up to this many average
// characters; longer paths are elided in the middle, whole in the tooltip.
constexpr int kPathColumnChars = 90;
}

CTheList::CTheList() : tree_(new QTreeWidget) {
    tree_->setObjectName(QStringLiteral("mandateList"));
    tree_->setRootIsDecorated(false);
    tree_->setItemsExpandable(false);
    tree_->setUniformRowHeights(true);
    tree_->setSortingEnabled(false);
    tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionsClickable(false);
    // A path's start and its last folders tell mandates apart; the middle can go.
    tree_->setTextElideMode(Qt::ElideMiddle);
    tree_->hide();
    QObject::connect(tree_, &QTreeWidget::itemSelectionChanged, this, &CTheList::countsChanged);
    QObject::connect(tree_, &QTreeWidget::itemDoubleClicked, tree_,
                     [this](QTreeWidgetItem* item, int) {
                         OnDblclk(item ? tree_->indexOfTopLevelItem(item) : -1);
                     });
}

CTheList::~CTheList() { delete tree_.data(); }

QWidget* CTheList::Widget() { return tree_; }

bool CTheList::OnCmdMsg(unsigned id, CCmdUI* ui) {
    static const CommandEntry<CTheList> map[] = {
        {ID_MARKALL, &CTheList::OnMarkall, &CTheList::OnUpdateMarkall},
        {ID_MARKNONE, &CTheList::OnMarknone, &CTheList::OnUpdateMarknone},
    };
    return DispatchCommand(this, map, id, ui);
}

void CTheList::DisplayColumnHeadings(int) {
    EraseList();
    AddColumn(LoadString(IDS_COLUMN_DIRECTORY), 0);
    AddColumn(LoadString(IDS_COLUMN_NAME), 1);
    AddColumn(LoadString(IDS_COLUMN_STAGE), 2);
}

void CTheList::AddColumn(const std::string& header, int index) {
    tree_->setColumnCount(index + 1);
    tree_->headerItem()->setText(index, Q(header));
    tree_->headerItem()->setTextAlignment(index, Qt::AlignLeft | Qt::AlignVCenter);
    // The header's blanks make the column wide.
    const QFontMetrics metrics(tree_->font());
    tree_->setColumnWidth(index, metrics.horizontalAdvance(Q(header)) + kColumnPadding);
}

void CTheList::FitColumn(int column, const std::string& text) {
    const QFontMetrics metrics(tree_->font());
    const int wanted = std::min(metrics.horizontalAdvance(Q(text)) + kColumnPadding,
                                metrics.averageCharWidth() * kPathColumnChars);
    if (wanted > tree_->columnWidth(column)) tree_->setColumnWidth(column, wanted);
}

void CTheList::EraseList() {
    tree_->clear();
    tree_->setColumnCount(0);
    Q_EMIT countsChanged();
    tree_->viewport()->update();
}

void CTheList::AddItem(int item, int subItem, const std::string& text) {
    if (subItem == 0) {
        auto* row = new QTreeWidgetItem;
        row->setText(0, Q(text));
        row->setToolTip(0, Q(text));
        tree_->insertTopLevelItem(item, row);
        FitColumn(0, text);
        Q_EMIT countsChanged();
    } else if (QTreeWidgetItem* row = tree_->topLevelItem(item)) {
        row->setText(subItem, Q(text));
    }
}

void CTheList::ShowStatus(int item, const MandateStatus& status) {
    const std::string text = status.Read() ? StageText(status.stage) : ProblemText(status.problem);
    AddItem(item, 2, text);
    FitColumn(2, text);
}

int CTheList::FindItem(const std::string& dir) const {
    for (int i = 0; i < GetItemCount(); ++i)
        if (GetItemText(i, 0) == dir) return i;
    return -1;
}

int CTheList::GetItemCount() const { return tree_->topLevelItemCount(); }

std::string CTheList::GetItemText(int item, int subItem) const {
    const QTreeWidgetItem* row = tree_->topLevelItem(item);
    return row ? S(row->text(subItem)) : std::string();
}

bool CTheList::IsSelected(int item) const {
    const QTreeWidgetItem* row = tree_->topLevelItem(item);
    return row && row->isSelected();
}

void CTheList::SetSelected(int item, bool selected) {
    if (QTreeWidgetItem* row = tree_->topLevelItem(item)) row->setSelected(selected);
}

int CTheList::GetSelectedCount() const {
    int count = 0;
    for (int i = 0; i < GetItemCount(); ++i) count += IsSelected(i) ? 1 : 0;
    return count;
}

int CTheList::GetNextSelectedItem(int after) const {
    for (int i = after + 1; i < GetItemCount(); ++i)
        if (IsSelected(i)) return i;
    return -1;
}

int CTheList::GetFocusedItem() const {
    QTreeWidgetItem* current = tree_->currentItem();
    return current ? tree_->indexOfTopLevelItem(current) : -1;
}

void CTheList::SetFocusedItem(int item) {
    if (QTreeWidgetItem* row = tree_->topLevelItem(item))
        tree_->setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
}

int CTheList::ColumnWidth(int column) const { return tree_->columnWidth(column); }

void CTheList::OnMarkall() {
    for (int i = 0; i < GetItemCount(); ++i) SetSelected(i, true);
}

void CTheList::OnUpdateMarkall(CCmdUI* ui) {
    ui->Enable(GetItemCount() > 0 && GetSelectedCount() < GetItemCount());
}

void CTheList::OnMarknone() {
    for (int i = 0; i < GetItemCount(); ++i) SetSelected(i, false);
}

void CTheList::OnUpdateMarknone(CCmdUI* ui) { ui->Enable(GetSelectedCount() > 0); }

void CTheList::OnDblclk(int item) { Q_EMIT rowActivated(item); }
