#include "app/ui/registry_dialogs.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "app/ui/text.h"

namespace cfg::ui {

namespace {

template <std::size_t N>
QComboBox* listBox(const std::array<const char*, N>& entries, QWidget* parent) {
  auto* box = new QComboBox(parent);
  for (const char* entry : entries) box->addItem(fromCp1252(entry), QString::fromLatin1(entry));
  return box;
}

// Selects the entry with exactly this text; none when it is not listed.
void selectText(QComboBox* box, const std::string& text) {
  box->setCurrentIndex(text.empty() ? -1 : box->findData(QString::fromLatin1(text.c_str())));
}

std::string selectedText(const QComboBox* box) {
  return box->currentIndex() < 0 ? std::string() : box->currentData().toString().toStdString();
}


}  // namespace

// --- TerminalView ---

TerminalView::TerminalView(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(3);
  setHeaderLabels({QStringLiteral("Cod."), QStringLiteral("Riferimento"), QStringLiteral("Tipo")});
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(1, QHeaderView::Stretch);
  setMinimumSize(360, 200);
}

void TerminalView::fill(const Registry& registry) {
  clear();
  for (std::size_t i = 0; i < registry.rows.size(); ++i) {
    const TerminalRecord& row = registry.rows[i];
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, QStringLiteral("%1").arg(row.number, 4, 10, QLatin1Char('0')));
    item->setText(1, fromCp1252(row.description));
    item->setText(2, fromCp1252(row.model));
    item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
  }
}

std::optional<std::size_t> TerminalView::selectedRow() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  QTreeWidgetItem* item = itemFromIndex(rows.first());
  if (!item) return std::nullopt;
  return static_cast<std::size_t>(item->data(0, Qt::UserRole).toULongLong());
}

void TerminalView::selectPosition(std::size_t position) {
  clearSelection();
  if (QTreeWidgetItem* item = topLevelItem(static_cast<int>(position))) {
    item->setSelected(true);
    setCurrentItem(item);
    scrollToItem(item);
  }
}

// --- TerminalCardDialog ---

TerminalCardDialog::TerminalCardDialog(TerminalRecord& row, bool isNew, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Scheda Terminale"), parent), row_(row), messages_(messages) {
  number_ = textEdit(4, this);
  address_ = textEdit(3, this);
  description_ = textEdit(30, this);
  type_ = listBox(kCardModels, this);
  port_ = listBox(kCardPorts, this);
  speed_ = listBox(kCardSpeeds, this);
  rs485_ = new QCheckBox(QStringLiteral("RS485:"), this);
  echo_ = new QCheckBox(QStringLiteral("Eco:"), this);
  modem_ = new QCheckBox(QStringLiteral("Modem:"), this);
  modemType_ = listBox(kModemTypes, this);
  phone_ = textEdit(15, this);
  modemInit_ = textEdit(99, this);
  continuous_ = new QCheckBox(QStringLiteral("Scarico continuo via modem:"), this);
  tcp_ = new QCheckBox(QStringLiteral("Ethernet:"), this);
  ip_ = new IpEdit(this);
  tcpPort_ = new QLineEdit(this);
  limitToDecimal(tcpPort_, 5, 65535);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Codice:"), number_);
  form->addRow(QStringLiteral("Riferimento:"), description_);
  form->addRow(QStringLiteral("Tipo:"), type_);
  form->addRow(QStringLiteral("Indirizzo:"), address_);
  form->addRow(QStringLiteral("Porta:"), port_);
  form->addRow(QStringLiteral("Velocita`:"), speed_);
  auto* line = new QHBoxLayout;
  line->addWidget(rs485_);
  line->addWidget(echo_);
  line->addWidget(modem_);
  form->addRow(line);
  form->addRow(QStringLiteral("Tipo modem:"), modemType_);
  form->addRow(QStringLiteral("Numero:"), phone_);
  form->addRow(QStringLiteral("Configurazione:"), modemInit_);
  form->addRow(continuous_);
  form->addRow(tcp_);
  form->addRow(QStringLiteral("Indirizzo IP:"), ip_);
  form->addRow(QStringLiteral("Porta:"), tcpPort_);

  CardButtons cardButtons = layOutCard(this, form);
  confirm_ = cardButtons.confirm;
  QPushButton* cancel = cardButtons.cancel;

  CardFields card = isNew ? newCard() : cardFromRow(row);
  number_->setText(fromCp1252(card.number));
  address_->setText(fromCp1252(card.address));
  description_->setText(fromCp1252(card.description));
  selectText(type_, card.model);
  selectText(port_, card.port);
  selectText(speed_, card.speed);
  rs485_->setChecked(card.rs485);
  echo_->setChecked(card.echo);
  modem_->setChecked(card.modem);
  modemType_->setCurrentIndex(card.modemType);
  phone_->setText(fromCp1252(card.phoneNumber));
  modemInit_->setText(fromCp1252(card.modemInit));
  continuous_->setChecked(card.continuousModemDownload);
  tcp_->setChecked(card.tcp);
  ip_->setAddress(card.ip);
  tcpPort_->setText(isNew ? QString() : fromCp1252(card.tcpPort));
  updateContinuousDownload();

  connect(number_, &QLineEdit::textEdited, this, [this] { changed_ = true; });
  connect(description_, &QLineEdit::textEdited, this, [this] { changed_ = true; });
  connect(type_, &QComboBox::activated, this, [this] {
    changed_ = true;
    updateContinuousDownload();
  });
  connect(type_, &QComboBox::currentIndexChanged, this, [this] { updateContinuousDownload(); });
  connect(confirm_, &QPushButton::clicked, this, [this] { confirm(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string TerminalCardDialog::effectiveModel() const {
  std::string model = selectedText(type_);
  return model.empty() ? row_.model : model;
}

void TerminalCardDialog::updateContinuousDownload() {
  continuous_->setEnabled(allowsContinuousDownload(effectiveModel()));
}

CardFields TerminalCardDialog::fields() const {
  CardFields card;
  card.number = toCp1252(number_->text());
  card.address = toCp1252(address_->text());
  card.description = toCp1252(description_->text());
  card.model = selectedText(type_);
  card.port = selectedText(port_);
  card.speed = selectedText(speed_);
  card.rs485 = rs485_->isChecked();
  card.echo = echo_->isChecked();
  card.modem = modem_->isChecked();
  card.modemType = std::max(modemType_->currentIndex(), 0);
  card.phoneNumber = toCp1252(phone_->text());
  card.modemInit = toCp1252(modemInit_->text());
  card.continuousModemDownload = continuous_->isChecked();
  card.tcp = tcp_->isChecked();
  card.ip = ip_->address();
  card.tcpPort = toCp1252(tcpPort_->text());
  return card;
}

void TerminalCardDialog::confirm() {
  switch (storeCard(fields(), row_, messages_)) {
    case CardError::Number:
      number_->setFocus();
      number_->selectAll();
      return;
    case CardError::Address:
      address_->setFocus();
      address_->selectAll();
      return;
    case CardError::None:
      accept();
  }
}

// --- TerminalListDialog ---

TerminalListDialog::TerminalListDialog(ProcessState& state, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Elenco Terminali"), parent), state_(state), messages_(messages) {
  view_ = new TerminalView(this);
  auto [add, modify, remove, cancel, save] = layOutListDialog(this, view_);
  connect(add, &QPushButton::clicked, this, [this] { addRow(); });
  connect(modify, &QPushButton::clicked, this, [this] { modifyRow(); });
  connect(view_, &QTreeWidget::itemDoubleClicked, this, [this] { modifyRow(); });
  connect(remove, &QPushButton::clicked, this, [this] { deleteSelected(); });
  connect(cancel, &QPushButton::clicked, this, &TerminalListDialog::reject);
  connect(save, &QPushButton::clicked, this, [this] { saveAndExit(); });
  refresh();
}

QPushButton* TerminalListDialog::button(const QString& text) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

void TerminalListDialog::refresh() {
  sortKeepingCurrent(state_.registry);
  view_->fill(state_.registry);
}

void TerminalListDialog::selectNumber(unsigned number) {
  if (auto row = rowOfNumber(state_.registry, number)) view_->selectPosition(*row);
}

void TerminalListDialog::addRow() {
  if (!roomForAnotherRow(state_.registry, messages_)) return;
  TerminalRecord row;
  TerminalCardDialog card(row, true, messages_, this);
  if (card.exec() != QDialog::Accepted) return;
  state_.registry.rows.push_back(row);
  refresh();
  selectNumber(row.number);
}

void TerminalListDialog::modifyRow() {
  auto selected = view_->selectedRow();
  if (!selected) {
    messages_.error(kNoTerminalSelected);
    return;
  }
  state_.registry.current = static_cast<int>(*selected);
  TerminalRecord& row = state_.registry.rows[*selected];
  TerminalCardDialog card(row, false, messages_, this);
  if (card.exec() != QDialog::Accepted || !card.keyFieldsChanged()) return;
  unsigned number = row.number;
  refresh();
  selectNumber(number);
}

void TerminalListDialog::deleteSelected() {
  auto selected = view_->selectedRow();
  if (!selected) {
    messages_.error(kNoTerminalSelected);
    return;
  }
  if (!messages_.confirm(kDeleteTerminalQuestion, kDeleteTerminalTitle, Icon::Warning)) return;
  auto next = deleteRow(state_.registry, *selected);
  refresh();
  if (next) view_->selectPosition(*next);
}

void TerminalListDialog::saveAndExit() {
  saveRegistry(state_.files(messages_), state_.registry);
  accept();
}

void TerminalListDialog::reject() {
  reloadKeepingCurrent(state_.files(messages_), state_.registry);
  QDialog::reject();
}

// --- SelectTerminalDialog ---

SelectTerminalDialog::SelectTerminalDialog(Registry& registry, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Seleziona Terminale"), parent), registry_(registry), messages_(messages) {
  view_ = new TerminalView(this);
  auto* buttons = new QHBoxLayout;
  QPushButton* confirm = addButton(buttons, QStringLiteral("&Conferma"), this);
  QPushButton* cancel = addButton(buttons, QStringLiteral("&Annulla"), this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_);
  layout->addLayout(buttons);
  connect(confirm, &QPushButton::clicked, this, [this] { choose(); });
  connect(view_, &QTreeWidget::itemDoubleClicked, this, [this] { choose(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  sortKeepingCurrent(registry_);
  view_->fill(registry_);
}

void SelectTerminalDialog::choose() {
  auto selected = view_->selectedRow();
  if (!selected) {
    messages_.error(kNoTerminalSelected);
    return;
  }
  registry_.current = static_cast<int>(*selected);
  done(1);
}

// --- DeskReaderDialog ---

DeskReaderDialog::DeskReaderDialog(TerminalRecord& reader, QWidget* parent)
    : GreyDialog(QStringLiteral("Impostazioni Lettore da Tavolo"), parent), reader_(reader) {
  port_ = listBox(kCardPorts, this);
  speed_ = listBox(kCardSpeeds, this);
  rs485_ = new QCheckBox(QStringLiteral("RS485:"), this);
  echo_ = new QCheckBox(QStringLiteral("Eco:"), this);
  tcp_ = new QCheckBox(QStringLiteral("Ethernet:"), this);
  ip_ = new IpEdit(this);
  tcpPort_ = new QLineEdit(this);
  limitToDecimal(tcpPort_, 5, 65535);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Porta:"), port_);
  form->addRow(QStringLiteral("Velocita`:"), speed_);
  auto* line = new QHBoxLayout;
  line->addWidget(rs485_);
  line->addWidget(echo_);
  form->addRow(line);
  form->addRow(tcp_);
  form->addRow(QStringLiteral("Indirizzo IP:"), ip_);
  form->addRow(QStringLiteral("Porta:"), tcpPort_);
  auto* buttons = new QHBoxLayout;
  QPushButton* confirm = addButton(buttons, QStringLiteral("&Conferma"), this);
  QPushButton* cancel = addButton(buttons, QStringLiteral("&Annulla"), this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);

  CardFields card = cardFromRow(reader);
  selectText(port_, card.port);
  selectText(speed_, card.speed);
  rs485_->setChecked(card.rs485);
  echo_->setChecked(card.echo);
  tcp_->setChecked(card.tcp);
  ip_->setAddress(card.ip);
  tcpPort_->setText(QString::fromStdString(card.tcpPort));
  connect(confirm, &QPushButton::clicked, this, [this] { this->confirm(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void DeskReaderDialog::confirm() {
  CardFields card;
  card.port = selectedText(port_);
  card.speed = selectedText(speed_);
  card.rs485 = rs485_->isChecked();
  card.echo = echo_->isChecked();
  card.tcp = tcp_->isChecked();
  card.ip = ip_->address();
  card.tcpPort = toCp1252(tcpPort_->text());
  storeDeskReader(card, reader_);
  accept();
}

}  // namespace cfg::ui
