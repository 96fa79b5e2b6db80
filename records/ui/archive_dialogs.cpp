#include "records/ui/archive_dialogs.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "app/settings_files.h"
#include "app/ui/text.h"
#include "records/archive_choice.h"
#include "records/format_edit.h"

namespace cfg::ui {

// --- the archive choice dialogs ---

ArchiveChoiceDialog::ArchiveChoiceDialog(ProcessState& state, const Messages& messages, RecordKind kind, Mode mode,
                                         QWidget* parent)
    : GreyDialog(mode == Mode::Choice ? QString::fromLatin1(kChoiceDialogTitle)
                                      : QString::fromLatin1(configurationTitle(kind)),
                 parent),
      messages_(messages),
      edit_(state, kind, mode) {
  const ArchiveSettings& shown = edit_.edited();
  auto* layout = new QVBoxLayout(this);
  for (const ArchiveSlot& slot : edit_.archives()) {
    Row row;
    auto* grid = new QGridLayout;
    row.enabled = new QCheckBox(QString::fromLatin1(slot.label), this);
    row.enabled->setChecked(shown.*slot.enabled != 0);
    auto* head = new QHBoxLayout;
    head->addWidget(row.enabled);
    if (slot.format) {
      row.format = new QComboBox(this);
      for (const AcquisitionFormat& f : state.formats.entries) row.format->addItem(fromCp1252(f.name));
      auto chosen = formatChoiceIndex(state.formats, shown.*slot.format);
      row.format->setCurrentIndex(chosen ? static_cast<int>(*chosen) : -1);
      head->addWidget(row.format);
      head->addWidget(new QLabel(QString::fromLatin1(slot.suffix), this));
    }
    head->addStretch();
    grid->addLayout(head, 0, 0, 1, 3);
    int line = 1;
    for (int copy : {2, 3}) {
      // No input limit: a longer path is refused on confirmation, never cut.
      auto* edit = new QLineEdit(this);
      edit->setMinimumWidth(320);
      edit->setText(fromCp1252(copy == 2 ? shown.*slot.copy2 : shown.*slot.copy3));
      auto* browse = new QPushButton(QStringLiteral("..."), this);
      browse->setAutoDefault(false);
      connect(browse, &QPushButton::clicked, this, [this, edit] { this->browse(edit); });
      grid->addWidget(new QLabel(copy == 2 ? QStringLiteral("Copia 2:") : QStringLiteral("Copia 3:"), this), line, 0);
      grid->addWidget(edit, line, 1);
      grid->addWidget(browse, line, 2);
      (copy == 2 ? row.copy2 : row.copy3) = edit;
      (copy == 2 ? row.browse2 : row.browse3) = browse;
      ++line;
    }
    layout->addLayout(grid);
    rows_.push_back(row);
  }
  auto* buttons = new QHBoxLayout;
  confirm_ = addButton(buttons, mode == Mode::Choice ? QStringLiteral("&Esegui") : QStringLiteral("&Salva ed esci"),
                       this);
  QPushButton* cancel = addButton(buttons, QStringLiteral("&Annulla"), this);
  layout->addLayout(buttons);
  connect(confirm_, &QPushButton::clicked, this, [this] { confirm(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString saveFileChoice(QWidget* parent, const QString& start) {
  QFileDialog dialog(parent, QString::fromLatin1(kSaveFileTitle), start, QString::fromLatin1(kSaveFileFilter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

void ArchiveChoiceDialog::browse(QLineEdit* field) {
  const QString chosen = chooser_ ? chooser_(this, field->text()) : saveFileChoice(this, field->text());
  if (chosen.isEmpty()) return;
  std::string bytes;
  if (PathRefusal r = archivePathBytes(chosen.toStdString(), bytes); !r) {
    messages_.error(r.reason);
    return;
  }
  field->setText(chosen);
}

void ArchiveChoiceDialog::confirm() {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const Row& row = rows_[i];
    edit_.setEnabled(i, row.enabled->isChecked());
    for (QLineEdit* field : {row.copy2, row.copy3}) {
      if (PathRefusal r = edit_.setCopy(i, field == row.copy2 ? 2 : 3, field->text().toStdString()); !r) {
        messages_.error(r.reason);
        field->setFocus();
        return;
      }
    }
    if (row.format) edit_.setFormat(i, toCp1252(row.format->currentText()));
  }
  if (edit_.confirm(messages_)) accept();
}

// --- "Scheda Formato Acquisizione" ---

FormatCardDialog::FormatCardDialog(AcquisitionFormat& format, bool isNew, QWidget* parent)
    : GreyDialog(QStringLiteral("Scheda Formato Acquisizione"), parent), format_(format) {
  name_ = textEdit(kFormatNameWidth, this);
  description_ = textEdit(kFormatDescriptionWidth, this);
  entry_ = textEdit(kFormatDirectionWidth, this);
  exit_ = textEdit(kFormatDirectionWidth, this);
  template_ = textEdit(kFormatTemplateWidth, this);
  template_->setMinimumWidth(420);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Nome:"), name_);
  form->addRow(QStringLiteral("Descrizione:"), description_);
  auto* templateRow = new QHBoxLayout;
  templateRow->addWidget(template_);
  templateRow->addWidget(new QLabel(QStringLiteral("+CrLf"), this));
  form->addRow(QStringLiteral("Tracciato di uscita:"), templateRow);

  auto* legend = new QGroupBox(QStringLiteral(" Campi utilizzabili "), this);
  auto* legendGrid = new QGridLayout(legend);
  int line = 0;
  for (const LegendLine& entry : formatLegend(isNew)) {
    legendGrid->addWidget(new QLabel(QString::fromLatin1(entry.field), legend), line, 0);
    auto* texts = new QHBoxLayout;
    if (entry.directions) {
      texts->addWidget(new QLabel(QStringLiteral("Verso entrata ="), legend));
      texts->addWidget(entry_);
      texts->addWidget(new QLabel(QStringLiteral("uscita ="), legend));
      texts->addWidget(exit_);
    }
    for (const char* text : entry.texts) texts->addWidget(new QLabel(fromCp1252(text), legend));
    texts->addStretch();
    legendGrid->addLayout(texts, line, 1);
    ++line;
  }
  legendGrid->addWidget(new QLabel(QString::fromLatin1(kFormatUsage), legend), line, 0, 1, 2);

  auto* buttons = new QHBoxLayout;
  QPushButton* confirmButton = addButton(buttons, QStringLiteral("&Conferma"), this);
  QPushButton* cancel = addButton(buttons, QStringLiteral("&Annulla"), this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(legend);
  layout->addLayout(buttons);

  AcquisitionFormat shown = isNew ? AcquisitionFormat{} : format;
  name_->setText(fromCp1252(shown.name));
  description_->setText(fromCp1252(shown.description));
  entry_->setText(fromCp1252(shown.entryText));
  exit_->setText(fromCp1252(shown.exitText));
  template_->setText(fromCp1252(shown.outputTemplate));
  connect(confirmButton, &QPushButton::clicked, this, [this] { confirm(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void FormatCardDialog::confirm() {
  format_.name = toCp1252(name_->text());
  format_.description = toCp1252(description_->text());
  format_.entryText = toCp1252(entry_->text());
  format_.exitText = toCp1252(exit_->text());
  format_.outputTemplate = toCp1252(template_->text());
  accept();
}

// --- "Elenco Formati Acquisizione" ---

FormatListDialog::FormatListDialog(ProcessState& state, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Elenco Formati Acquisizione"), parent),
      state_(state),
      messages_(messages),
      opened_(state.formats) {
  view_ = new QTreeWidget(this);
  view_->setColumnCount(2);
  view_->setHeaderLabels({QStringLiteral("Nome"), QStringLiteral("Descrizione")});
  view_->setRootIsDecorated(false);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  view_->setMinimumSize(420, 240);

  auto [add, modify, remove, cancel, save] = layOutListDialog(this, view_);
  connect(add, &QPushButton::clicked, this, [this] { addFormat(); });
  connect(modify, &QPushButton::clicked, this, [this] { modifyFormat(); });
  connect(view_, &QTreeWidget::itemDoubleClicked, this, [this] { modifyFormat(); });
  connect(remove, &QPushButton::clicked, this, [this] { deleteSelected(); });
  connect(cancel, &QPushButton::clicked, this, &FormatListDialog::reject);
  connect(save, &QPushButton::clicked, this, [this] { saveAndExit(); });
  refill();
}

void FormatListDialog::refill() {
  view_->clear();
  const auto& entries = state_.formats.entries;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    auto* item = new QTreeWidgetItem(view_);
    item->setText(0, fromCp1252(entries[i].name));
    item->setText(1, fromCp1252(entries[i].description));
    item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
  }
}

void FormatListDialog::selectPosition(std::size_t position) {
  view_->clearSelection();
  if (QTreeWidgetItem* item = view_->topLevelItem(static_cast<int>(position))) {
    item->setSelected(true);
    view_->setCurrentItem(item);
    view_->scrollToItem(item);
  }
}

std::optional<std::size_t> FormatListDialog::selected() const {
  const QModelIndexList rows = view_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  QTreeWidgetItem* item = view_->itemFromIndex(rows.first());
  if (!item) return std::nullopt;
  auto index = static_cast<std::size_t>(item->data(0, Qt::UserRole).toULongLong());
  if (index >= state_.formats.entries.size()) return std::nullopt;
  return index;
}

void FormatListDialog::addFormat() {
  if (!roomForNewFormat(state_.formats, messages_)) return;
  AcquisitionFormat format;
  FormatCardDialog card(format, true, this);
  if (card.exec() != QDialog::Accepted) return;
  state_.formats.entries.push_back(format);
  refill();
}

void FormatListDialog::modifyFormat() {
  auto index = selected();
  if (!index) {
    messages_.error(kNoFormatSelectedMessage);
    return;
  }
  FormatCardDialog card(state_.formats.entries[*index], false, this);
  if (card.exec() != QDialog::Accepted) return;
  refill();
  selectPosition(*index);
}

void FormatListDialog::deleteSelected() {
  auto index = selected();
  if (!index) {
    messages_.error(kNoFormatSelectedMessage);
    return;
  }
  if (!messages_.confirm(kDeleteFormatQuestion, kDeleteFormatTitle, Icon::Warning)) return;
  auto next = deleteFormat(state_.formats, *index);
  refill();
  if (next) selectPosition(*next);
}

void FormatListDialog::saveAndExit() {
  writeFormatList(state_.files(messages_), state_.formats);
  accept();
}

void FormatListDialog::reject() {
  cancelFormatEdits(state_.files(messages_), state_.formats, opened_);
  QDialog::reject();
}

}  // namespace cfg::ui
