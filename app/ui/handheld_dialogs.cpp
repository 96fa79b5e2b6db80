#include "app/ui/handheld_dialogs.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "app/command_ids.h"
#include "app/registry_edit.h"
#include "app/ui/main_window.h"
#include "app/ui/operation_dialog.h"
#include "app/ui/text.h"
#include "link/bt_system.h"
#include "link/bt_vendor.h"
#include "link/handheld_scan.h"
#include "params/ui/parameter_pages.h"

namespace cfg::ui {

// --- PlantPasswordDialog ---

PlantPasswordDialog::PlantPasswordDialog(ProcessState& state, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Password HND"), parent), state_(state), messages_(messages) {
  edit_ = textEdit(static_cast<int>(kPlantPasswordLength), this);
  edit_->setText(fromCp1252(shownPlantPassword(state_.plantPassword)));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Password:"), edit_);
  CardButtons buttons = layOutCard(this, form);
  confirm_ = buttons.confirm;
  connect(confirm_, &QPushButton::clicked, this, [this] { confirm(); });
  connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
  edit_->setFocus();
}

void PlantPasswordDialog::confirm() {
  if (!confirmPlantPassword(state_, messages_, toCp1252(edit_->text()))) {
    edit_->setFocus();
    return;
  }
  accept();
}

// --- HandheldListDialog ---

namespace {

QStringList headings(HandheldListOrigin kind) {
  if (kind == HandheldListOrigin::Bluetooth)
    return {QStringLiteral("Cod."), QStringLiteral("Nome"), QStringLiteral("Indirizzo NAP"), QStringLiteral("Servizio"),
            QStringLiteral("Stato")};
  return {QStringLiteral("Cod."), QStringLiteral("Nome"), QStringLiteral("Stato")};
}

}  // namespace

HandheldListDialog::HandheldListDialog(HandheldListOrigin kind, ProcessState& state, Messages& messages,
                                       std::function<void(std::string_view)> selectParameterLayout,
                                       QWidget* parent)
    : GreyDialog(kind == HandheldListOrigin::Bluetooth ? QStringLiteral("Elenco Terminali Bluetooth")
                                                       : QStringLiteral("Elenco Terminali USB"),
                 parent),
      kind_(kind),
      state_(state),
      messages_(messages),
      selectParameterLayout_(std::move(selectParameterLayout)) {
  view_ = new QTreeWidget(this);
  QStringList columns = headings(kind_);
  view_->setColumnCount(static_cast<int>(columns.size()));
  view_->setHeaderLabels(columns);
  view_->setRootIsDecorated(false);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  view_->setMinimumSize(kind_ == HandheldListOrigin::Bluetooth ? 520 : 360, 200);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_);
  if (kind_ == HandheldListOrigin::Bluetooth) {
    auto* stacks = new QHBoxLayout;
    system_ = new QRadioButton(QStringLiteral("Microsoft"), this);
    vendor_ = new QRadioButton(QStringLiteral("Widcomm"), this);
    stacks->addWidget(system_);
    stacks->addWidget(vendor_);
    stacks->addStretch();
    layout->addLayout(stacks);
  }
  auto* row = new QHBoxLayout;
  search_ = addButton(row, QStringLiteral("&Ricerca"), this);
  connect_ = addButton(row, QStringLiteral("&Connetti"), this);
  reset_ = addButton(row, QStringLiteral("&Reset+default"), this);
  cancel_ = addButton(row, QStringLiteral("&Annulla"), this);
  layout->addLayout(row);

  connect(search_, &QPushButton::clicked, this, [this] { search(); });
  connect(connect_, &QPushButton::clicked, this, [this] { connectSelected(); });
  connect(view_, &QTreeWidget::itemDoubleClicked, this, [this] { connectSelected(); });
  connect(reset_, &QPushButton::clicked, this, [this] { resetSelected(); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  prepareHandheldList(state_, kind_);
  // Only where resdeflt.dat marks an installer's machine.
  reset_->setVisible(state_.resetToDefault);
  reset_->setEnabled(state_.resetToDefault);
  fill();
  if (system_) {
    bool vendor = state_.bluetoothDriver == BluetoothKind::VendorStack;
    system_->setChecked(!vendor);
    vendor_->setChecked(vendor);
  }
}

void HandheldListDialog::fill() {
  view_->clear();
  for (std::size_t i = 0; i < state_.handhelds.size(); ++i) {
    auto* item = new QTreeWidgetItem(view_);
    std::vector<std::string> texts = handheldRowTexts(state_.handhelds[i], kind_);
    for (std::size_t c = 0; c < texts.size(); ++c) item->setText(static_cast<int>(c), fromCp1252(texts[c]));
    item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
  }
  selectPosition(0);
}

void HandheldListDialog::selectPosition(int position) {
  view_->clearSelection();
  if (QTreeWidgetItem* item = view_->topLevelItem(position)) {
    item->setSelected(true);
    view_->setCurrentItem(item);
  }
}

std::optional<std::size_t> HandheldListDialog::selectedEntry() const {
  const QModelIndexList rows = view_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  QTreeWidgetItem* item = view_->itemFromIndex(rows.first());
  if (!item) return std::nullopt;
  return static_cast<std::size_t>(item->data(0, Qt::UserRole).toULongLong());
}

void HandheldListDialog::search() {
  state_.handheldOrigin = kind_;
  Worker& worker = state_.workers.handheldScan;
  if (kind_ == HandheldListOrigin::Usb) {
    UsbScanJob job{hidBackend(), messages_, state_.plantPassword, state_.handhelds};
    OperationDialog dialog(
        worker, messages_, [&job](Worker& w) { scanUsbHandhelds(w, job); }, QString::fromLatin1(kUsbScanTitle),
        QStringLiteral("&Annulla"), OperationDialog::Display::Text, this);
    dialog.exec();
  } else {
    state_.bluetoothDriver = vendor_->isChecked() ? BluetoothKind::VendorStack : BluetoothKind::SystemStack;
    if (state_.bluetoothDriver == BluetoothKind::VendorStack) {
      BtVendorScanJob job{messages_, state_.plantPassword, state_.handhelds};
      OperationDialog dialog(
          worker, messages_, [&job](Worker& w) { scanBtVendorHandhelds(w, job); }, QString::fromLatin1(kBtScanTitle),
          QStringLiteral("&Annulla"), OperationDialog::Display::Text, this);
      dialog.exec();
    } else {
      BtSystemScanJob job{btSystemStack(), messages_, state_.plantPassword, state_.handhelds};
      OperationDialog dialog(
          worker, messages_, [&job](Worker& w) { scanBtSystemHandhelds(w, job); }, QString::fromLatin1(kBtScanTitle),
          QStringLiteral("&Annulla"), OperationDialog::Display::Text, this);
      dialog.exec();
    }
  }
  // The new list shows in the same order as on opening.
  prepareHandheldList(state_, kind_);
  fill();
}

void HandheldListDialog::connectSelected() {
  std::optional<std::size_t> entry = selectedEntry();
  if (!entry) {
    state_.reconnect = false;  // whatever way a connect ends
    messages_.error(kNoTerminalSelected);
    return;
  }
  ConnectionHooks hooks;
  hooks.selectParameterLayout = selectParameterLayout_;
  HandheldConnect result = connectListedHandheld(state_, messages_, *entry, hooks);
  // A refused handheld leaves the list open: the user sees it stay.
  if (!result.connected) return;
  if (result.offerPasswordSetup) offerPasswordSetup(state_, messages_, this);
  connection_ = result.update;
  accept();
}

void HandheldListDialog::resetSelected() {
  std::optional<std::size_t> entry = selectedEntry();
  if (!entry) {
    messages_.error(kNoTerminalSelected);
    return;
  }
  resetListedHandheld(state_, messages_, *entry);
}

// --- commands ---

void registerHandheldCommands(MainWindow& window, ProcessState& state, Messages& messages) {
  QWidget* parent = &window;
  window.setHandler(cmd::PlantPassword, [&state, &messages, parent] {
    PlantPasswordDialog dialog(state, messages, parent);
    dialog.exec();
  });
  const std::pair<int, HandheldListOrigin> lists[] = {{cmd::UsbList, HandheldListOrigin::Usb},
                                                      {cmd::BluetoothList, HandheldListOrigin::Bluetooth}};
  for (auto [id, kind] : lists) {
    HandheldListOrigin listKind = kind;
    window.setHandler(id, [&window, &state, &messages, listKind] {
      if (!plantPasswordSet(state)) {
        messages.error(kNoPlantPassword);
        return;
      }
      HandheldListDialog dialog(listKind, state, messages, window.hooks().selectParameterLayout, &window);
      dialog.exec();
      if (dialog.connection()) window.apply(*dialog.connection());
    });
  }
  // What the program keeps of the USB devices is the list a USB search
  // filled: it goes at shutdown, with the USB Link.
  window.hooks().releaseUsbList = [&state] {
    if (state.handheldOrigin != HandheldListOrigin::Usb) return;
    state.handhelds.clear();
    state.handheldOrigin = HandheldListOrigin::None;
  };
}

}  // namespace cfg::ui
