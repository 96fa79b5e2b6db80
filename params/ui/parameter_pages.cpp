#include "params/ui/parameter_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <map>

#include "app/command_ids.h"
#include "app/ui/main_window.h"
#include "app/ui/operation_dialog.h"
#include "app/ui/text.h"
#include "params/transfer.h"

namespace cfg::ui {

namespace {

constexpr int kPages = 11;

QString pageTitle(int page) { return QStringLiteral("Parametri di Configurazione (%1)").arg(page); }

int editLength(const Field& f) {
  switch (f.encoding) {
    case Encoding::Number: return 3;
    case Encoding::Word16: return 5;
    case Encoding::Bcd: return 2 * f.arg;
    case Encoding::Time: return 5;
    case Encoding::Text: return static_cast<int>(kBlockSizes[static_cast<std::size_t>(f.block)]);
    default: return 0;
  }
}

}  // namespace

ParameterPagesDialog::ParameterPagesDialog(ProcessState& state, Messages& messages, QWidget* parent)
    : GreyDialog(pageTitle(1), parent), state_(state), messages_(messages) {
  chooseFile = [this](bool save) {
    if (save)
      return QFileDialog::getSaveFileName(this, QStringLiteral("Save Data File"), QString(),
                                          QStringLiteral("Text File (*.txt)"));
    return QFileDialog::getOpenFileName(this, QStringLiteral("Open Data File"), QString(),
                                        QStringLiteral("Text File (*.txt)"));
  };
  auto* layout = new QVBoxLayout(this);
  auto* pages = new QHBoxLayout;
  for (int p = 1; p <= kPages; ++p) {
    QPushButton* b = addButton(pages, QStringLiteral("Page%1").arg(p), this);
    b->setVisible(p <= pageCount(state_.parameters.model));
    connect(b, &QPushButton::clicked, this, [this, p] { goToPage(p); });
    pageButtons_.push_back(b);
  }
  layout->addLayout(pages);
  pageArea_ = new QWidget(this);
  layout->addWidget(pageArea_, 1);
  auto* buttons = new QHBoxLayout;
  load_ = addButton(buttons, QStringLiteral("&Leggi file"), this);
  save_ = addButton(buttons, QStringLiteral("&Salva file"), this);
  read_ = addButton(buttons, QStringLiteral("&Ricevi da ..."), this);
  write_ = addButton(buttons, QStringLiteral("&Invia a ..."), this);
  QPushButton* close = addButton(buttons, QStringLiteral("&Chiudi"), this);
  layout->addLayout(buttons);
  connect(load_, &QPushButton::clicked, this, [this] { loadFile(); });
  connect(save_, &QPushButton::clicked, this, [this] { saveFile(); });
  connect(read_, &QPushButton::clicked, this, [this] { transfer(false); });
  connect(write_, &QPushButton::clicked, this, [this] { transfer(true); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  buildPage();
}

int ParameterPagesDialog::fieldIndex(const std::string& caption, int nth) const {
  const auto& all = fieldsOf(state_.parameters.model);
  for (std::size_t k = 0; k < fields_.size(); ++k)
    if (all[fields_[k]].caption == caption && nth-- == 0) return static_cast<int>(k);
  return -1;
}

void ParameterPagesDialog::buildPage() {
  setWindowTitle(pageTitle(page_));
  for (QButtonGroup* g : groups_) delete g;
  groups_.clear();
  widgets_.clear();
  // A fresh page area: the old one goes with every widget of the page.
  auto* area = new QWidget(this);
  areaLayout_ = new QVBoxLayout(area);
  if (pageArea_) {
    layout()->replaceWidget(pageArea_, area);
    delete pageArea_;
  }
  pageArea_ = area;
  const ParamModel model = state_.parameters.model;
  const auto& all = fieldsOf(model);
  fields_ = fieldsOnPage(model, page_);

  auto* form = new QGridLayout;
  int row = 0;
  // Buttons that pick one value of a byte exclude one another.
  std::map<std::pair<int, int>, QButtonGroup*> byByte;
  auto groupFor = [&](const Field& f) -> QButtonGroup* {
    if (f.encoding == Encoding::Bit) return nullptr;
    int sharing = 0;
    for (std::size_t i : fields_)
      if (all[i].block == f.block && all[i].byte == f.byte && all[i].encoding != Encoding::Bit) ++sharing;
    if (sharing < 2) return nullptr;
    auto& g = byByte[{f.block, f.byte}];
    if (!g) {
      g = new QButtonGroup(this);
      g->setExclusive(true);
      groups_.push_back(g);
    }
    return g;
  };
  std::map<std::string, QGridLayout*> bandGrids;
  for (std::size_t k = 0; k < fields_.size(); ++k) {
    const Field& f = all[fields_[k]];
    QString caption = fromCp1252(f.caption);
    QWidget* w = nullptr;
    switch (widgetOf(f.encoding)) {
      case Widget::Check: w = new QCheckBox(caption, pageArea_); break;
      case Widget::Radio: w = new QRadioButton(caption, pageArea_); break;
      case Widget::Combo: {
        auto* combo = new QComboBox(pageArea_);
        for (const std::string& v : f.list) combo->addItem(fromCp1252(v));
        w = combo;
        break;
      }
      case Widget::Edit: w = textEdit(editLength(f), pageArea_); break;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w))
      if (QButtonGroup* g = groupFor(f)) g->addButton(button);
    widgets_.push_back(w);

    if (f.band >= 0) {
      // A band group: one row per band, "dalle:", "alle:", the day boxes.
      QGridLayout*& grid = bandGrids[f.group];
      if (!grid) {
        auto* box = new QGroupBox(fromCp1252(f.group), pageArea_);
        grid = new QGridLayout(box);
        areaLayout_->addWidget(box);
      }
      w->setEnabled(bandEnabled(model, f, state_.parameters.image));
      int column = 0;
      switch (f.role) {
        case FieldRole::BandFrom: column = 0; break;
        case FieldRole::BandTo: column = 2; break;
        default: {
          int day = 0;
          for (std::size_t j = 0; j < k; ++j) {
            const Field& before = all[fields_[j]];
            if (before.group == f.group && before.band == f.band && before.role == FieldRole::BandDay) ++day;
          }
          column = 4 + day;
          break;
        }
      }
      if (column < 4) {
        grid->addWidget(new QLabel(caption, pageArea_), f.band, column);
        grid->addWidget(w, f.band, column + 1);
      } else {
        grid->addWidget(w, f.band, column);
      }
      continue;
    }
    if (widgetOf(f.encoding) == Widget::Combo || widgetOf(f.encoding) == Widget::Edit) {
      form->addWidget(new QLabel(caption, pageArea_), row, 0);
      form->addWidget(w, row, 1);
    } else {
      form->addWidget(w, row, 0, 1, 2);
    }
    ++row;
  }
  areaLayout_->insertLayout(0, form);
  areaLayout_->addStretch(1);
  showValues();
  // A band switch on this page takes effect as soon as it is changed.
  for (QWidget* w : widgets_) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) connect(b, &QAbstractButton::toggled, this, [this] { enableBands(); });
    if (auto* c = qobject_cast<QComboBox*>(w))
      connect(c, &QComboBox::currentIndexChanged, this, [this] { enableBands(); });
  }
}

void ParameterPagesDialog::enableBands() {
  // The page as it stands, where its values can be stored; the image otherwise.
  ParameterImage scratch = state_.parameters.image;
  storePage(state_.parameters.model, page_, values(), scratch);
  const auto& all = fieldsOf(state_.parameters.model);
  for (std::size_t k = 0; k < widgets_.size(); ++k)
    if (all[fields_[k]].band >= 0) widgets_[k]->setEnabled(bandEnabled(state_.parameters.model, all[fields_[k]], scratch));
}

void ParameterPagesDialog::showValues() {
  auto shown = showPage(state_.parameters.model, page_, state_.parameters.image);
  const auto& all = fieldsOf(state_.parameters.model);
  for (std::size_t k = 0; k < widgets_.size() && k < shown.size(); ++k) {
    QWidget* w = widgets_[k];
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      if (shown[k] == "1") b->setChecked(true);
      else if (!b->group()) b->setChecked(false);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
      c->setCurrentIndex(std::stoi(shown[k]));
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
      e->setText(fromCp1252(shown[k]));
    }
    if (all[fields_[k]].band >= 0) w->setEnabled(bandEnabled(state_.parameters.model, all[fields_[k]], state_.parameters.image));
  }
}

std::vector<std::string> ParameterPagesDialog::values() const {
  std::vector<std::string> out;
  for (QWidget* w : widgets_) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) out.push_back(b->isChecked() ? "1" : "0");
    else if (auto* c = qobject_cast<QComboBox*>(w)) out.push_back(std::to_string(c->currentIndex()));
    else if (auto* e = qobject_cast<QLineEdit*>(w)) out.push_back(toCp1252(e->text()));
    else out.emplace_back();
  }
  return out;
}

bool ParameterPagesDialog::leavePage() {
  StoreResult r = storePage(state_.parameters.model, page_, values(), state_.parameters.image);
  if (r.ok) return true;
  messages_.error(r.message);
  if (r.field < widgets_.size()) {
    widgets_[r.field]->setFocus();
    if (auto* e = qobject_cast<QLineEdit*>(widgets_[r.field])) e->selectAll();
  }
  return false;
}

void ParameterPagesDialog::goToPage(int page) {
  if (page == page_ || page < 1 || page > pageCount(state_.parameters.model)) return;
  if (!leavePage()) return;
  page_ = page;
  buildPage();
}

void ParameterPagesDialog::loadFile() {
  QString path = chooseFile(false);
  if (path.isEmpty()) return;
  if (!loadParameterFile(path.toStdString(), state_.parameters.image))
    messages_.error(kParameterFileReadFailed);
  buildPage();
}

void ParameterPagesDialog::saveFile() {
  if (!leavePage()) return;
  QString path = chooseFile(true);
  if (path.isEmpty()) return;
  saveParameterFile(path.toStdString(), state_.parameters.image, messages_);
}

void ParameterPagesDialog::transfer(bool write) {
  if (write && !leavePage()) return;
  ParameterState& params = state_.parameters;
  Link& link = state_.link;
  const Messages& messages = messages_;
  OperationDialog dialog(
      state_.workers.general, messages_,
      [&params, &link, &messages, write](Worker& w) {
        if (write) writeAllParameters(w, link, messages, params);
        else readAllParameters(w, link, messages, params);
      },
      QStringLiteral("Aggiornamento Dati"), QStringLiteral("&Interrompi"), OperationDialog::Display::Bar, this);
  dialog.progressBar()->setObjectName(QStringLiteral("1322"));
  dialog.progressBar()->setRange(0, transferCount(params.model));
  dialog.progressBar()->setValue(0);
  dialog.body()->insertWidget(0, new QLabel(write ? QStringLiteral("Invio dati in corso ...")
                                                   : QStringLiteral("Ricezione dati in corso ..."),
                                             &dialog));
  dialog.exec();
  buildPage();
}

void registerParameterCommands(MainWindow& window, ProcessState& state, Messages& messages) {
  window.hooks().selectParameterLayout = [&state](std::string_view model) {
    selectParameterLayout(state.parameters, model);
  };
  QWidget* parent = &window;
  window.setHandler(cmd::Parameters, [&state, &messages, parent] {
    if (!state.connected || !state.link.isOpen() || state.parameters.model == ParamModel::None) return;
    ParameterPagesDialog dialog(state, messages, parent);
    dialog.exec();
  });
}

void offerPasswordSetup(ProcessState& state, Messages& messages, QWidget* parent) {
  if (!askConfigurePassword(messages)) return;
  selectParameterLayout(state.parameters, state.link.config.model);
  ParameterPagesDialog dialog(state, messages, parent);
  dialog.exec();
}

}  // namespace cfg::ui
