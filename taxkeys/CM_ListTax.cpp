#include "taxkeys/CM_ListTax.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "app/CTheApp.h"
#include "app/framework/CFrameWnd.h"
#include "app/framework/Strings.h"
#include "app/framework/UiSeam.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraMessages.h"
#include "mandate/pendra/PendraStatus.h"
#include "res/Resource.h"
#include "taxkeys/ConversionRules.h"
#include "taxkeys/KeyPlan.h"

namespace {

// Column starts of both lists in dialog units, under the heading texts.
constexpr int kTabStops[] = {38, 71, 106};
constexpr int kDialogWidthUnits = 439;
constexpr int kDialogHeightUnits = 190;
constexpr int kIdChars = 6;
constexpr int kPartnerRole = Qt::UserRole;

// Dialog units to pixels, from the dialog font's average character size.
int UnitsX(const QFontMetrics& m, int units) { return units * m.averageCharWidth() / 4; }
int UnitsY(const QFontMetrics& m, int units) { return units * m.height() / 8; }

// The first `count` characters of UTF-8 text.
std::string FirstChars(const std::string& text, int count) {
    std::size_t i = 0;
    for (int n = 0; n < count && i < text.size(); ++n) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    return text.substr(0, i);
}

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

CM_ListTax::CM_ListTax(QWidget* parent)
    : QDialog(parent), mandate_(Mandate::GetGlobalMandate()), taxFile_(mandate_), tax_(mandate_) {
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
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(left_, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelchangeList(); });
    connect(right_, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelchangeList2(); });
    const QFontMetrics metrics(font());
    resize(UnitsX(metrics, kDialogWidthUnits), UnitsY(metrics, kDialogHeightUnits));
}

std::string CM_ListTax::FormatText(const std::string& id, float rate, bool netto,
                                   const std::string& konto, RowType type) const {
    const std::string key = FirstChars(id, kIdChars);
    const double percent = static_cast<double>(rate) * 100.0;
    if (type == kOldKey)
        return key + "\t" + FloatToAscii(percent, "%g") + "%\t" + (netto ? netText_ : grossText_) +
               "\t" + konto;
    return key + "\t" + FloatToAscii(percent, "%f") + "%\t   " +
           LoadString(type == kNewKeyPresent ? IDS_JA : IDS_NEIN);
}

void CM_ListTax::AddRow(QTreeWidget* list, const std::string& text, int partner) {
    auto* item = new QTreeWidgetItem(Q(text).split('\t'));
    item->setData(0, kPartnerRole, partner);
    list->addTopLevelItem(item);
}

bool CM_ListTax::OnInitDialog() {
    const int mode = mandate_->IsReadOnly() ? BFile::kModeReadOnly : BFile::kModeUpdate;
    if (const int status = taxFile_.Open(mandate_->GetTaxName(), mode); status != pendra::kOk) {
        ShowError(ZylGetResourceHandle(), 5000, mandate_->GetLastName(), status);
        return false;
    }
    setWindowTitle(Q(LoadString(IDS_DLG_KEYS_CAPTION) + " " + LoadString(IDS_FUER_MANDANT) + " " +
                     mandate_->GetPath()));
    tax_.UseFile(&taxFile_);
    const std::string entries = LoadString(IDS_ENTRY_TEXTS);
    const auto comma = entries.find(',');
    grossText_ = entries.substr(0, comma);
    netText_ = comma == std::string::npos ? std::string() : entries.substr(comma + 1);
    // A key file that cannot be read to its end would show a list that looks
    // complete: the overview is not shown then.
    if (const int status = FillLists(); status != pendra::kOk) {
        ++TheApp().m_failures;
        ShowError(ZylGetResourceHandle(), 5000, mandate_->GetTaxName(), status);
        return false;
    }
    if (left_->topLevelItemCount() > 0) {
        left_->setCurrentItem(left_->topLevelItem(0));
        left_->setFocus();
    }
    return true;
}

int CM_ListTax::FillLists() {
    KeyPlan plan;
    const int status = plan.Read(tax_);
    left_->setUpdatesEnabled(false);
    for (const PlannedKey& old : plan.OldKeys()) {
        if (old.leftAlone) continue;
        KeyPlan::Load(old, tax_);
        const int leftRow = left_->topLevelItemCount();
        AddRow(left_, FormatText(old.oldId, tax_.GetPercent(), tax_.UseNetto() != 0, tax_.GetKonto(), kOldKey),
               leftRow);
        // A new id listed once counts as present for every further old key deriving it.
        const bool present = !plan.Take(old.newId);
        AddRow(right_, FormatText(old.newId, old.newRate, false, {}, present ? kNewKeyPresent : kNewKeyAbsent),
               leftRow);
    }
    left_->setUpdatesEnabled(true);
    return status;
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
