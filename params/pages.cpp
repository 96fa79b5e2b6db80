#include "params/pages.h"

#include <array>
#include <cstdio>
#include <map>

namespace cfg {

namespace {

// ---- value lists -------------------------------------------------------

enum class ListId {
  None, Funzionamento, AttesaOnLine, Luminosita, TipoCodifica, VersoTimbratura, VersoRemoto, LettoriSeriale,
  ModoRele, ModoInput, ControlloPorta, ModuloEthernet, ModoConnessione, TipoStampante, Porta, ModalFinger,
  UsoImpronta, RichiestaImpronta, AusilioVocale, Banner, Accensione, Direzione
};

std::vector<std::string> listValues(ListId id, ParamModel m) {
  switch (id) {
    case ListId::None: return {};
    case ListId::Funzionamento:
      if (m == ParamModel::Hnd)
        return {"PRESENZE 1",      "PRESENZE 2",      "PRESENZE 3",      "PRESENZE 4",
                "RACCOLTA DATI 1", "RACCOLTA DATI 2", "RACCOLTA DATI 3", "RACCOLTA DATI 4"};
      return {"SOLO ACCESSI", "PRESENZE+ACC."};
    case ListId::AttesaOnLine:
      return {"SOLO OFF-LINE", "ATTESA 1 SEC.", "ATTESA 2 SEC.", "ATTESA 3 SEC.",
              "ATTESA 4 SEC.", "ATTESA 5 SEC.", "SOLO ON-LINE"};
    case ListId::Luminosita: return {"13%", "20%", "27%", "40%", "53%", "80%", "100%"};
    case ListId::TipoCodifica:
      if (m == ParamModel::Hnd) return {"[m: STANDARD] [b: EAN-13]", "[m: ALFANUMERICA] [b: CODE 39]"};
      return {"[STANDARD]", "[ALFANUMERICA]"};
    case ListId::VersoTimbratura:
      return {"VERSO LETTORE",  "LETTORE DIRETTO", "LETTORE INVERSO", "ACCESSO REMOTO",
              "SEMPRE ENTRATA", "SEMPRE USCITA",   "SELEZIONE E/U",   "PER FASCE ORARIE"};
    case ListId::VersoRemoto:
      return {"ACCESSO REMOTO", "SEMPRE ENTRATA", "SEMPRE USCITA", "LETTORE DIRETTO", "LETTORE INVERSO"};
    case ListId::LettoriSeriale: return {"NON PRESENTI", "SERIALE BASE", "SERIALE AGGIUNTIVA"};
    case ListId::ModoRele: {
      std::vector<std::string> v{"DISATTIVO",      "SOLO ENTRATA",     "SOLO USCITA",
                                 "ENTRA ED ESCE",  "ACCESSO NEGATO",   "QUALSIASI ERRORE",
                                 "ATTIVA SIRENE",  "LETTORE REMOTO",   "PER UTENTE"};
      if (m == ParamModel::P2 || m == ParamModel::K2 || m == ParamModel::K3 || m == ParamModel::K5)
        v.push_back("ALLARME PORTA AP.");
      if (m == ParamModel::P2) v.push_back("INTERBLOCCO");
      return v;
    }
    case ListId::ModoInput: {
      std::vector<std::string> v{"DISATTIVO"};
      for (const char* what : {"ABIL.ENT.", "ABIL.USC.", "ABIL.REM.", "TRANSITO ", "F.SERVIZ.", "PORT.ENT.",
                               "PORT.USC.", "PORT.REM.", "SIM.ENT.", "SIM.USC.", "SIM.REM.", "BARR.ENT.",
                               "BARR.USC.", "INT.BLOC."}) {
        v.push_back(std::string("APERTO=") + what);
        v.push_back(std::string("CHIUSO=") + what);
      }
      return v;
    }
    case ListId::ControlloPorta:
      return {"DISABILITATO",       "SOLO CHIUSURA",     "APERT. E CHIUS.",
              "BARR. SOLO ENTRATA", "BARR. SOLO USCITA", "BARR. ENTRATA+USC."};
    case ListId::ModuloEthernet: return {"NON ABILITATO", "ETHERNET", "MODULO WI-FI"};
    case ListId::ModoConnessione: return {"A BUFFER", "A TEMPO", "A BUFFER O TEMPO"};
    case ListId::TipoStampante:
      return {"NON PRESENTE",   "CUSTOM FT190S3", "CITIZEN CBM750",
              "EPSON TM-U300A", "NEOS-S4GA-PS",   "CUSTOM VKP80"};
    case ListId::Porta: return {"NON PRESENTE", "PORTA SER1", "PORTA SER2", "PORTA SER3"};
    case ListId::ModalFinger:
      if (m == ParamModel::K4) return {"DISATTIVO", "SOLO IMPRONTA", "TESSERA+IMPRONTA"};
      return {"DISATTIVO", "SOLO IMPRONTA", "CODICE+IMPRONTA", "TESSERA+IMPRONTA"};
    case ListId::UsoImpronta: return {"SEMPRE", "SOLO IN ENTRATA"};
    case ListId::RichiestaImpronta: return {"SEMPRE", "SOLO SE PRESENTE"};
    case ListId::AusilioVocale: return {"NON PRESENTE", "SEMPRE ATTIVO", "SU RICHIESTA"};
    case ListId::Banner: return {"NO BANNER", "ALTERNATI", "CONSECUTIVI", "SCREEN SAVER"};
    case ListId::Accensione: return {"SEMPRE ACCESO", "SEMPRE SPENTO", "FASCE ACCENSIONE"};
    case ListId::Direzione: return {"ENTRATA", "USCITA", "REMOTO"};
  }
  return {};
}

// ---- the layout table ----------------------------------------------------
//
// One row per setting, one cell per model in the order LX-P1, LX-P2, LX-K2,
// LX-K3, LX-K4, LX-K5, HND. A cell without a model is empty (block -1).
// Settings whose place the terminal documentation leaves open sit in free
// bytes of block 0 (never bytes 0-1), marked "own place" below.

struct Cell {
  Encoding enc = Encoding::Flag;
  int block = -1;
  int byte = 0;
  int arg = 0;
};

constexpr Cell X{};
constexpr Cell F(int b) { return {Encoding::Flag, 0, b, 0}; }
constexpr Cell B(int b, int bit) { return {Encoding::Bit, 0, b, bit}; }
constexpr Cell V(int b, int v) { return {Encoding::Value, 0, b, v}; }
constexpr Cell I(int b) { return {Encoding::Inverted, 0, b, 0}; }
constexpr Cell L(int b) { return {Encoding::List, 0, b, 0}; }
constexpr Cell N(int b) { return {Encoding::Number, 0, b, 0}; }
constexpr Cell W(int b) { return {Encoding::Word16, 0, b, 0}; }
constexpr Cell D(int b, int bytes) { return {Encoding::Bcd, 0, b, bytes}; }
constexpr Cell T(int block) { return {Encoding::Text, block, 0, 0}; }
// Four time bands at offsets 0, 8, 16, 24 of the block.
constexpr Cell BANDS(int block) { return {Encoding::Time, block, 0, 0}; }

struct Row {
  int page;
  const char* caption;
  ListId list;
  long min, max;
  FieldRole role;
  std::array<Cell, 7> cells;
};

constexpr long kByte = 255;
constexpr FieldRole P = FieldRole::Plain;

const Row kRows[] = {
    // page 1
    {1, "Suono", ListId::None, 0, 1, P, {X, X, X, X, X, X, F(17)}},
    {1, "Giustificativo", ListId::None, 0, 1, P, {F(2), F(2), F(2), X, X, F(2), F(12)}},
    {1, "Buffer overflow", ListId::None, 0, 1, P, {F(3), F(3), F(3), F(3), F(3), F(3), X}},
    {1, "Ora legale/solare", ListId::None, 0, 1, P, {F(8), F(8), F(8), F(8), F(8), F(8), F(13)}},
    {1, "Antipassback", ListId::None, 0, 1, P, {X, X, X, B(16, 0), B(16, 0), X, X}},
    {1, "Messaggi multipli", ListId::None, 0, 1, P, {F(32), F(32), F(32), X, X, F(32), X}},
    {1, "Visualizza timbrature", ListId::None, 0, 1, P, {F(33), F(33), F(33), X, X, F(33), F(14)}},
    {1, "Salva timbrature non valide", ListId::None, 0, 1, P,
     {B(35, 0), B(35, 0), B(35, 0), B(35, 0), B(35, 0), B(35, 0), X}},
    {1, "Salva 'F'", ListId::None, 0, 1, P, {X, F(60), X, X, X, F(60), X}},
    {1, "Modalita` base PROD.", ListId::None, 0, 1, P, {F(47), F(58), X, X, X, X, X}},
    {1, "Attesa on line", ListId::AttesaOnLine, 0, 0, P, {L(28), L(28), L(28), L(28), L(28), L(28), X}},
    {1, "Funzionamento", ListId::Funzionamento, 0, 0, P, {L(36), L(57), L(36), X, X, L(57), L(15)}},
    {1, "Luminosita`", ListId::Luminosita, 0, 0, P, {X, X, L(49), X, X, X, X}},
    {1, "Luminosit\xE0" " LCD", ListId::None, 0, 10, P, {X, X, X, X, X, X, N(3)}},
    {1, "Contrasto LCD", ListId::None, 0, 63, P, {X, X, X, X, X, X, N(4)}},
    {1, "Tempo autospegnimento (sec.)", ListId::None, 0, kByte, P, {X, X, X, X, X, X, N(2)}},
    {1, "Tempo spegnimento (min.)", ListId::None, 0, kByte, P, {X, X, N(55), X, X, X, X}},
    {1, "Password", ListId::None, 0, 99999999, FieldRole::Password, {X, X, X, X, X, X, D(54, 4)}},
    {1, "Cod. terminale", ListId::None, 0, 9999, P, {X, X, X, X, X, X, D(52, 2)}},
    {1, "Timeout rientro", ListId::None, 0, kByte, P, {N(48), N(59), X, X, X, X, X}},
    {1, "Timeout input", ListId::None, 0, kByte, P, {N(49), N(62), X, X, X, X, X}},
    // page 2 ("Cifre badge": own place)
    {2, "Cifre badge", ListId::None, 0, 37, P, {N(50), N(7), N(57), N(60), N(56), N(45), N(21)}},
    {2, "Posiz. matricola", ListId::None, 1, 37, P, {N(10), N(10), N(10), N(10), N(10), X, N(9)}},
    {2, "Posizione matricola", ListId::None, 1, 37, P, {X, X, X, X, X, N(10), X}},
    {2, "Lung. matricola", ListId::None, 1, 9, P, {N(11), N(11), N(11), N(11), N(11), X, N(10)}},
    {2, "Lunghezz matricola", ListId::None, 1, 9, P, {X, X, X, X, X, N(11), X}},
    {2, "Verso timbratura", ListId::VersoTimbratura, 0, 0, P, {L(34), L(34), L(34), L(34), L(34), L(34), X}},
    {2, "Verso lett. remoto", ListId::VersoRemoto, 0, 0, P, {X, L(44), L(47), L(44), L(47), L(44), X}},
    {2, "Lettori in seriale", ListId::LettoriSeriale, 0, 0, P, {X, X, X, L(59), X, X, X}},
    {2, "Pos. cod. azienda", ListId::None, 1, 37, P, {N(44), N(64), N(44), N(56), N(44), X, N(6)}},
    {2, "Lun. cod. azienda", ListId::None, 0, 2, P, {N(45), N(65), N(45), N(57), N(45), X, N(7)}},
    {2, "Def. cod. azienda", ListId::None, 0, 99, P, {N(46), N(66), N(46), N(58), N(46), X, N(8)}},
    {2, "Tipo codifica badge", ListId::TipoCodifica, 0, 0, P, {X, X, L(12), X, X, X, L(11)}},
    // page 3 ("Pin-code": own place)
    {3, "White list", ListId::None, 0, 1, P, {F(13), F(13), F(13), F(13), F(13), F(13), X}},
    {3, "Scad.", ListId::None, 0, 1, P, {F(14), F(14), F(14), X, X, F(14), X}},
    {3, "Scadenza", ListId::None, 0, 1, P, {X, X, X, F(14), F(14), X, X}},
    {3, "Orario", ListId::None, 0, 1, P, {F(15), F(15), F(15), F(15), F(15), F(15), X}},
    {3, "Scalare", ListId::None, 0, 1, P, {F(17), F(17), F(17), F(17), F(17), F(17), X}},
    {3, "Pin-code", ListId::None, 0, 1, P, {F(51), F(46), F(58), F(61), F(57), F(59), X}},
    {3, "Controllo codice impianto 1", ListId::None, 0, 1, P, {F(18), F(18), F(18), F(18), F(18), F(18), X}},
    {3, "Controllo codice impianto 2", ListId::None, 0, 1, P, {F(23), F(23), F(23), F(23), F(23), F(23), X}},
    {3, "Posizione codice impianto 1", ListId::None, 1, 37, P, {N(19), N(19), N(19), N(19), N(19), N(19), X}},
    {3, "Posizione codice impianto 2", ListId::None, 1, 37, P, {N(24), N(24), N(24), N(24), N(24), N(24), X}},
    {3, "Lunghezza codice impianto 1", ListId::None, 1, 4, P, {N(20), N(20), N(20), N(20), N(20), N(20), X}},
    {3, "Lunghezza codice impianto 2", ListId::None, 1, 4, P, {N(25), N(25), N(25), N(25), N(25), N(25), X}},
    {3, "Valore codice impianto 1", ListId::None, 0, 9999, P, {W(21), W(21), W(21), W(21), W(21), W(21), X}},
    {3, "Valore codice impianto 2", ListId::None, 0, 9999, P, {W(26), W(26), W(26), W(26), W(26), W(26), X}},
    {3, "Modalita` base PROD.", ListId::None, 0, 1, P, {X, X, X, X, X, X, F(18)}},
    {3, "Tempo antiripetizione", ListId::None, 0, 99, P, {X, X, X, X, X, X, N(16)}},
    {3, "Timeout rientro", ListId::None, 0, kByte, P, {X, X, X, X, X, X, N(19)}},
    {3, "Timeout input", ListId::None, 0, kByte, P, {X, X, X, X, X, X, N(20)}},
    // page 4
    {4, "Modem analogico", ListId::None, 0, 1, P, {X, I(47), X, X, X, X, X}},
    {4, "Modem GSM", ListId::None, 0, 1, P, {X, F(47), X, X, X, V(47, 1), X}},
    {4, "No modem", ListId::None, 0, 1, P, {X, X, X, X, X, V(47, 0), X}},
    {4, "Modem GPRS", ListId::None, 0, 1, P, {X, X, X, X, X, V(47, 2), X}},
    {4, "HCS300", ListId::None, 0, 1, P, {F(40), F(70), F(40), F(52), F(40), X, X}},
    {4, "Numero squilli risposta automatica", ListId::None, 0, 9, P, {N(29), N(29), N(29), N(29), X, X, X}},
    {4, "N. squilli risposta automatica", ListId::None, 0, 9, P, {X, X, X, X, X, N(29), X}},
    {4, "Modo connessione", ListId::ModoConnessione, 0, 0, P, {X, X, X, X, X, L(87), X}},
    {4, "Intervallo connessione (min)", ListId::None, 0, 65535, P, {X, X, X, X, X, W(88), X}},
    {4, "Dim. buffer", ListId::None, 0, 32768, P, {X, X, X, X, X, W(79), X}},
    {4, "Porta", ListId::None, 0, 65535, P, {X, X, X, X, X, W(94), X}},
    {4, "Modalit\xE0" " operativa fingerprint:", ListId::ModalFinger, 0, 0, P, {X, X, X, X, L(55), X, X}},
    {4, "Dx:", ListId::Direzione, 0, 0, P, {L(39), L(69), L(39), L(51), L(39), X, X}},
    {4, "Sx:", ListId::Direzione, 0, 0, P, {L(37), L(67), L(37), L(49), L(37), X, X}},
    {4, "Ce:", ListId::Direzione, 0, 0, P, {L(38), L(68), L(38), L(50), L(38), X, X}},
    {4, "Def. codice impianto", ListId::None, 0, 9999, P, {W(42), W(72), W(42), W(54), W(42), X, X}},
    {4, "Def. codice azienda", ListId::None, 0, kByte, P, {N(41), N(71), N(41), N(53), N(41), X, X}},
    // page 5 ("Salva timbratura di allarme": own place)
    {5, "Salva timbratura di allarme", ListId::None, 0, 1, P, {X, F(6), X, X, X, X, X}},
    {5, "Telerele`", ListId::None, 0, 1, P, {X, X, F(51), X, F(51), X, X}},
    {5, "Presenza modulo ethernet", ListId::None, 0, 1, P, {X, X, X, F(46), X, X, X}},
    {5, "Modo rele` 1", ListId::ModoRele, 0, 0, P, {L(4), L(4), L(4), L(4), L(4), L(4), X}},
    {5, "Tempo rele` 1", ListId::None, 0, kByte, P, {N(5), N(5), N(5), N(5), N(5), N(5), X}},
    {5, "Modo rele` 2", ListId::ModoRele, 0, 0, P, {L(6), X, L(6), X, L(6), X, X}},
    {5, "Tempo rele` 2", ListId::None, 0, kByte, P, {N(7), X, N(7), X, N(7), X, X}},
    {5, "Modo input 1", ListId::ModoInput, 0, 0, P, {L(30), L(30), L(30), L(30), L(30), L(30), X}},
    {5, "Modo input 2", ListId::ModoInput, 0, 0, P, {L(31), L(31), L(31), L(31), L(31), L(31), X}},
    {5, "Controllo porta", ListId::ControlloPorta, 0, 0, P, {X, L(81), L(52), L(2), L(52), L(81), X}},
    {5, "Timeout apertura (sec.)", ListId::None, 0, kByte, P, {X, N(82), N(53), N(6), N(53), N(82), X}},
    {5, "Timeout chiusura (sec.)", ListId::None, 0, kByte, P, {X, W(83), N(54), N(7), N(54), W(83), X}},
    {5, "Modulo ethernet", ListId::ModuloEthernet, 0, 0, P, {X, L(86), X, X, X, X, X}},
    {5, "Modulo ethernet/wi-fi", ListId::ModuloEthernet, 0, 0, P, {X, X, X, X, X, L(46), X}},
    // page 6
    {6, "Modo rele` 2", ListId::ModoRele, 0, 0, P, {X, L(36), X, L(36), X, L(36), X}},
    {6, "Tempo rele` 2", ListId::None, 0, kByte, P, {X, N(37), X, N(37), X, N(37), X}},
    {6, "Modo rele` 3", ListId::ModoRele, 0, 0, P, {X, L(38), X, L(38), X, X, X}},
    {6, "Tempo rele` 3", ListId::None, 0, kByte, P, {X, N(39), X, N(39), X, X, X}},
    {6, "Modo rele` 4", ListId::ModoRele, 0, 0, P, {X, L(40), X, L(40), X, X, X}},
    {6, "Tempo rele` 4", ListId::None, 0, kByte, P, {X, N(41), X, N(41), X, X, X}},
    {6, "Modo input 3", ListId::ModoInput, 0, 0, P, {X, L(42), X, L(42), X, X, X}},
    {6, "Modo input 4", ListId::ModoInput, 0, 0, P, {X, L(43), X, L(43), X, X, X}},
    {6, "Antipassback", ListId::None, 0, 1, P, {X, X, X, X, X, F(53), X}},
    {6, "Uno al giorno", ListId::None, 0, 1, P, {X, X, X, X, X, F(54), X}},
    {6, "Tempo antiripetizione", ListId::None, 0, 99, P, {X, X, X, X, X, N(55), X}},
    {6, "Tempo \"in coda\"", ListId::None, 0, 99, P, {X, X, X, X, X, N(56), X}},
    {6, "Tempo attesa", ListId::None, 0, kByte, P, {X, X, X, X, X, N(58), X}},
    {6, "Modalit\xE0" " fingerprint:", ListId::ModalFinger, 0, 0, P, {X, X, X, X, X, L(61), X}},
    {6, "Abilita fasce pin-code", ListId::None, 0, 1, P, {X, X, F(56), X, X, X, X}},
    {6, "Fasce disabilitazione pin-code", ListId::None, 0, 0, P, {X, X, BANDS(8), X, X, X, X}},
    // page 7
    {7, "Errori bloccanti", ListId::None, 0, 1, P, {X, F(49), X, X, X, X, X}},
    {7, "Intestazione", ListId::None, 0, 1, P, {X, F(51), X, X, X, X, X}},
    {7, "Taglio carta", ListId::None, 0, 1, P, {X, F(52), X, X, X, X, X}},
    {7, "Log timbrature", ListId::None, 0, 1, P, {X, B(50, 0), X, X, X, X, X}},
    {7, "Su richiesta", ListId::None, 0, 1, P, {X, B(50, 1), X, X, X, X, X}},
    {7, "Ultime timbrature", ListId::None, 0, 1, P, {X, B(50, 2), X, X, X, X, X}},
    {7, "Messaggi utente", ListId::None, 0, 1, P, {X, B(50, 3), X, X, X, X, X}},
    {7, "Giustificativo", ListId::None, 0, 1, P, {X, B(50, 4), X, X, X, X, X}},
    {7, "Intestazione riga 1", ListId::None, 0, 0, P, {X, T(4), X, X, X, X, X}},
    {7, "Intestazione riga 2", ListId::None, 0, 0, P, {X, T(5), X, X, X, X, X}},
    {7, "Intestazione riga 3", ListId::None, 0, 0, P, {X, T(6), X, X, X, X, X}},
    {7, "Tipo stampante", ListId::TipoStampante, 0, 0, P, {X, L(48), X, X, X, X, X}},
    {7, "Porta stampante", ListId::Porta, 0, 0, P, {X, L(87), X, X, X, X, X}},
    {7, "Disabilitazione risposta automatica modem:", ListId::None, 0, 0, P, {X, X, X, X, X, BANDS(3), X}},
    // page 8 ("Uso impronta:", "Richiesta impronta:": own place)
    {8, "Antipassback", ListId::None, 0, 1, P, {X, F(53), X, X, X, X, X}},
    {8, "Uno al giorno", ListId::None, 0, 1, P, {X, F(54), X, X, X, X, X}},
    {8, "Tempo antiripetizione", ListId::None, 0, 99, P, {X, N(55), X, X, X, X, X}},
    {8, "Tempo \"in coda\"", ListId::None, 0, 99, P, {X, N(56), X, X, X, X, X}},
    {8, "Modal. operativa:", ListId::ModalFinger, 0, 0, P, {X, L(61), X, X, X, X, X}},
    {8, "Uso impronta:", ListId::UsoImpronta, 0, 0, P, {X, L(9), X, X, X, X, X}},
    {8, "Richiesta impronta:", ListId::RichiestaImpronta, 0, 0, P, {X, L(93), X, X, X, X, X}},
    {8, "Modulo fingerprint:", ListId::Porta, 0, 0, P, {X, L(88), X, X, X, X, X}},
    {8, "Modulo vocale:", ListId::Porta, 0, 0, P, {X, L(89), X, X, X, X, X}},
    {8, "Ausilio vocale:", ListId::AusilioVocale, 0, 0, P, {X, L(63), X, X, X, X, X}},
    {8, "Numero impronte per untente:", ListId::None, 0, 5, P, {X, X, X, X, X, N(38), X}},
    {8, "Modalit\xE0" " banner display grafico:", ListId::Banner, 0, 0, P, {X, X, X, X, X, L(74), X}},
    {8, "Tempo base:", ListId::None, 0, kByte, P, {X, X, X, X, X, N(75), X}},
    {8, "Tempo banner 1:", ListId::None, 0, kByte, P, {X, X, X, X, X, N(76), X}},
    {8, "Tempo banner 2:", ListId::None, 0, kByte, P, {X, X, X, X, X, N(77), X}},
    {8, "Codice minimo impronta:", ListId::None, 0, 0, FieldRole::CodeMin, {X, X, X, X, X, D(39, 5), X}},
    {8, "Codice massimo impronta:", ListId::None, 0, 0, FieldRole::CodeMax, {X, X, X, X, X, D(48, 5), X}},
    {8, "Fasce accensione display grafico", ListId::None, 0, 0, P, {X, X, X, X, X, BANDS(7), X}},
    // page 9
    {9, "Disabilitazione risposta automatica modem:", ListId::None, 0, 0, P, {X, BANDS(3), X, X, X, X, X}},
    {9, "Modo accensione display grafico:", ListId::Accensione, 0, 0, P, {X, X, X, X, X, L(78), X}},
    {9, "Fasce disabilitazione pin-code", ListId::None, 0, 0, P, {X, X, X, X, X, BANDS(8), X}},
    // page 10
    {10, "Abilita fasce pin-code", ListId::None, 0, 1, P, {X, X, X, X, X, F(86), X}},
    {10, "Porta UPS:", ListId::Porta, 0, 0, P, {X, L(90), X, X, X, X, X}},
    {10, "Porta MCR4:", ListId::Porta, 0, 0, P, {X, L(91), X, X, X, X, X}},
    {10, "Porta penna ottica:", ListId::Porta, 0, 0, P, {X, L(92), X, X, X, X, X}},
    {10, "Modalit\xE0" " banner display grafico:", ListId::Banner, 0, 0, P, {X, L(74), X, X, X, X, X}},
    {10, "Tempo base:", ListId::None, 0, kByte, P, {X, N(75), X, X, X, X, X}},
    {10, "Tempo banner 1:", ListId::None, 0, kByte, P, {X, N(76), X, X, X, X, X}},
    {10, "Tempo banner 2:", ListId::None, 0, kByte, P, {X, N(77), X, X, X, X, X}},
    // page 11
    {11, "Modo accensione display grafico:", ListId::Accensione, 0, 0, P, {X, L(78), X, X, X, X, X}},
    {11, "Fasce accensione display grafico", ListId::None, 0, 0, P, {X, BANDS(7), X, X, X, X, X}},
};

int column(ParamModel m) {
  switch (m) {
    case ParamModel::P1: return 0;
    case ParamModel::P2: return 1;
    case ParamModel::K2: return 2;
    case ParamModel::K3: return 3;
    case ParamModel::K4: return 4;
    case ParamModel::K5: return 5;
    case ParamModel::Hnd: return 6;
    case ParamModel::None: break;
  }
  return -1;
}

// The serial-port devices: the list of each, and the text naming it when
// its port is taken.
struct PortDevice {
  const char* caption;
  const char* taken;
};
constexpr PortDevice kPortDevices[] = {
    {"Porta stampante", "Errore: porta assegnata alla stampante."},
    {"Modulo fingerprint:", "Errore: porta assegnata al modulo fingerprint."},
    {"Modulo vocale:", "Errore: porta assegnata al modulo vocale."},
    {"Porta UPS:", "Errore: porta assegnata all'ups."},
    {"Porta MCR4:", "Errore: porta assegnata al lettore motorizzato."},
    {"Porta penna ottica:", "Errore: porta assegnata alla penna ottica."},
};

// Day boxes of a band: caption and bit (bit 0 Sunday, 1-6 Monday to
// Saturday, 7 holidays).
constexpr std::pair<const char*, int> kDays[] = {{"L", 1}, {"M", 2}, {"M", 3}, {"G", 4},
                                                 {"V", 5}, {"S", 6}, {"D", 0}, {"F", 7}};

std::vector<Field> buildFields(ParamModel m) {
  std::vector<Field> out;
  int col = column(m);
  if (col < 0) return out;
  for (const Row& row : kRows) {
    const Cell& c = row.cells[static_cast<std::size_t>(col)];
    if (c.block < 0) continue;
    Field f;
    f.page = row.page;
    f.caption = row.caption;
    f.encoding = c.enc;
    f.block = c.block;
    f.byte = c.byte;
    f.arg = c.arg;
    f.list = listValues(row.list, m);
    f.min = row.min;
    f.max = row.max;
    f.role = row.role;
    for (std::size_t i = 0; i < std::size(kPortDevices); ++i)
      if (f.caption == kPortDevices[i].caption) f.port = static_cast<int>(i);
    if (c.enc != Encoding::Time) {
      out.push_back(std::move(f));
      continue;
    }
    // A band group: four bands of "dalle:", "alle:" and the day boxes.
    for (int band = 0; band < 4; ++band) {
      Field from = f;
      from.group = row.caption;
      from.band = band;
      from.caption = "dalle:";
      from.byte = band * 8;
      from.role = FieldRole::BandFrom;
      Field to = from;
      to.caption = "alle:";
      to.byte = band * 8 + 2;
      to.role = FieldRole::BandTo;
      out.push_back(from);
      out.push_back(to);
      for (const auto& [day, bit] : kDays) {
        Field d = from;
        d.caption = day;
        d.encoding = Encoding::Bit;
        d.byte = band * 8 + 4;
        d.arg = bit;
        d.role = FieldRole::BandDay;
        out.push_back(d);
      }
    }
  }
  return out;
}

bool isDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A decimal number typed in a field; blanks around it are allowed.
std::optional<long> decimal(const std::string& typed, std::size_t maxDigits = 9) {
  std::size_t first = typed.find_first_not_of(' ');
  std::size_t last = typed.find_last_not_of(' ');
  std::string s = first == std::string::npos ? std::string() : typed.substr(first, last - first + 1);
  if (!isDigits(s) || s.size() > maxDigits) return std::nullopt;
  return std::stol(s);
}

std::string rangeMessage(long min, long max) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "Errore: range ammesso %ld-%ld.", min, max);
  return buf;
}

constexpr const char* kEightDigitMessage = "Errore: range ammesso 00000000-99999999.";
constexpr const char* kBadCodeMessage = "Errore: codice non valido.";
constexpr const char* kCodeOrderMessage = "Errore: codice minimo maggiore di codice massimo.";
constexpr const char* kBadTimeMessage = "Errore: dato non valido (formato 00:00).";
constexpr const char* kBandOrderMessage = "Errore: 'dalle' superiore 'alle'.";
constexpr const char* kGsmSelected = "Errore: modem GSM/GPRS selezionato.";
constexpr const char* kEthernetSelected = "Errore: modulo ethernet/wi-fi selezionato.";

// "hh:mm": hours 0-24, minutes 0-59, 24 only with 00. Minutes of the day.
std::optional<int> parseTime(const std::string& s) {
  if (s.size() != 5 || s[2] != ':') return std::nullopt;
  std::string h = s.substr(0, 2), mm = s.substr(3, 2);
  if (!isDigits(h) || !isDigits(mm)) return std::nullopt;
  int hours = std::stoi(h), minutes = std::stoi(mm);
  if (hours > 24 || minutes > 59 || (hours == 24 && minutes != 0)) return std::nullopt;
  return hours * 60 + minutes;
}

std::uint8_t bcdByte(int value) { return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10)); }

// The BCD digits of a code text, zero-filled on the left to the field's size.
std::optional<std::string> codeDigits(const Field& f, const std::string& text) {
  std::size_t digits = 2 * static_cast<std::size_t>(f.arg);
  if (!isDigits(text) || text.size() > digits) return std::nullopt;
  if (f.role == FieldRole::Password && text.size() != digits) return std::nullopt;
  return std::string(digits - text.size(), '0') + text;
}

// What a check box, radio button or list shows for the byte(s).
std::string showField(const Field& f, const ParameterImage& image) {
  const std::uint8_t* b = image.block(f.block) + f.byte;
  char buf[64];
  switch (f.encoding) {
    case Encoding::Flag: return *b != 0 ? "1" : "0";
    case Encoding::Bit: return (*b >> f.arg) & 1 ? "1" : "0";
    case Encoding::Value: return *b == f.arg ? "1" : "0";
    case Encoding::Inverted: return *b == 0 ? "1" : "0";
    case Encoding::List: return *b < f.list.size() ? std::to_string(*b) : "-1";
    case Encoding::Number: return std::to_string(*b);
    case Encoding::Word16: return std::to_string(b[0] << 8 | b[1]);
    case Encoding::Bcd: {
      std::string out;
      for (int i = 0; i < f.arg; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", b[i]);
        out += buf;
      }
      return out;
    }
    case Encoding::Time:
      std::snprintf(buf, sizeof buf, "%02X:%02X", b[0], b[1]);
      return buf;
    case Encoding::Text: {
      std::string text(reinterpret_cast<const char*>(b), kBlockSizes[static_cast<std::size_t>(f.block)]);
      text = text.substr(0, text.find('\0'));
      while (!text.empty() && text.back() == ' ') text.pop_back();
      return text;
    }
  }
  return {};
}

void storeField(const Field& f, const std::string& value, ParameterImage& image) {
  std::uint8_t* b = image.block(f.block) + f.byte;
  bool on = value == "1";
  switch (f.encoding) {
    case Encoding::Flag: *b = on ? 1 : 0; break;
    case Encoding::Bit:
      if (on) *b = static_cast<std::uint8_t>(*b | 1u << f.arg);
      else *b = static_cast<std::uint8_t>(*b & ~(1u << f.arg));
      break;
    case Encoding::Value:
      if (on) *b = static_cast<std::uint8_t>(f.arg);
      break;
    case Encoding::Inverted: *b = on ? 0 : 1; break;
    case Encoding::List: {
      long index = decimal(value, 3).value_or(-1);
      if (index >= 0 && static_cast<std::size_t>(index) < f.list.size()) *b = static_cast<std::uint8_t>(index);
      break;
    }
    case Encoding::Number: *b = static_cast<std::uint8_t>(*decimal(value)); break;
    case Encoding::Word16: {
      long v = *decimal(value);
      b[0] = static_cast<std::uint8_t>(v >> 8);
      b[1] = static_cast<std::uint8_t>(v & 0xFF);
      break;
    }
    case Encoding::Bcd: {
      std::string digits = *codeDigits(f, value);
      for (int i = 0; i < f.arg; ++i)
        b[i] = static_cast<std::uint8_t>((digits[2 * i] - '0') << 4 | (digits[2 * i + 1] - '0'));
      break;
    }
    case Encoding::Time: {
      int minutes = *parseTime(value);
      b[0] = bcdByte(minutes / 60);
      b[1] = bcdByte(minutes % 60);
      break;
    }
    case Encoding::Text: {
      std::size_t size = kBlockSizes[static_cast<std::size_t>(f.block)];
      std::string text = value.substr(0, size);
      text.resize(size, ' ');
      std::copy(text.begin(), text.end(), b);
      break;
    }
  }
}

// The field's own check; empty when the value is good.
std::string checkField(const Field& f, const std::string& value) {
  switch (f.encoding) {
    case Encoding::Number:
    case Encoding::Word16: {
      auto v = decimal(value);
      if (!v || *v < f.min || *v > f.max) return rangeMessage(f.min, f.max);
      return {};
    }
    case Encoding::Bcd:
      if (codeDigits(f, value)) return {};
      if (f.role == FieldRole::Password) return kEightDigitMessage;
      if (f.role == FieldRole::CodeMin || f.role == FieldRole::CodeMax) return kBadCodeMessage;
      return rangeMessage(f.min, f.max);
    case Encoding::Time: return parseTime(value) ? std::string() : kBadTimeMessage;
    default: return {};
  }
}

}  // namespace

Widget widgetOf(Encoding e) {
  switch (e) {
    case Encoding::Flag:
    case Encoding::Bit:
    case Encoding::Inverted: return Widget::Check;
    case Encoding::Value: return Widget::Radio;
    case Encoding::List: return Widget::Combo;
    default: return Widget::Edit;
  }
}

bool askConfigurePassword(const Messages& messages) {
  PromptRequest q;
  q.text = kConfigurePasswordQuestion;
  q.title = kQuestionTitle;
  q.icon = Icon::Question;
  q.buttons = Buttons::OkCancel;
  q.defaultButton = Answer::Ok;
  return messages.ask(q) == Answer::Ok;
}

int pageCount(ParamModel model) {
  switch (model) {
    case ParamModel::P1:
    case ParamModel::K4: return 5;
    case ParamModel::K2:
    case ParamModel::K3: return 6;
    case ParamModel::K5: return 10;
    case ParamModel::P2: return 11;
    case ParamModel::Hnd: return 3;
    case ParamModel::None: break;
  }
  return 0;
}

const std::vector<Field>& fieldsOf(ParamModel model) {
  static const std::map<ParamModel, std::vector<Field>> all = [] {
    std::map<ParamModel, std::vector<Field>> m;
    for (ParamModel pm : {ParamModel::None, ParamModel::P1, ParamModel::P2, ParamModel::K2, ParamModel::K3,
                          ParamModel::K4, ParamModel::K5, ParamModel::Hnd})
      m[pm] = buildFields(pm);
    return m;
  }();
  return all.at(model);
}

std::vector<std::size_t> fieldsOnPage(ParamModel model, int page) {
  std::vector<std::size_t> out;
  const auto& fields = fieldsOf(model);
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].page == page) out.push_back(i);
  return out;
}

bool bandEnabled(ParamModel model, const Field& field, const ParameterImage& image) {
  if (field.band < 0) return true;
  const auto& fields = fieldsOf(model);
  auto byCaption = [&](const char* caption) -> const Field* {
    for (const Field& f : fields)
      if (f.caption == caption) return &f;
    return nullptr;
  };
  if (field.group == "Fasce accensione display grafico") {
    const Field* mode = byCaption("Modo accensione display grafico:");
    return mode && image.at(mode->block, static_cast<std::size_t>(mode->byte)) == 2;  // "FASCE ACCENSIONE"
  }
  if (field.group == "Fasce disabilitazione pin-code") {
    const Field* on = byCaption("Abilita fasce pin-code");
    return on && image.at(on->block, static_cast<std::size_t>(on->byte)) != 0;
  }
  return true;
}

std::vector<std::string> showPage(ParamModel model, int page, const ParameterImage& image) {
  std::vector<std::string> out;
  const auto& fields = fieldsOf(model);
  for (std::size_t i : fieldsOnPage(model, page)) out.push_back(showField(fields[i], image));
  return out;
}

StoreResult storePage(ParamModel model, int page, const std::vector<std::string>& values, ParameterImage& image) {
  const auto& fields = fieldsOf(model);
  std::vector<std::size_t> on = fieldsOnPage(model, page);
  if (values.size() != on.size()) return {false, 0, "Errore: dato non valido."};
  auto fail = [](std::size_t at, std::string message) { return StoreResult{false, at, std::move(message)}; };

  // Each field on its own, in page order.
  for (std::size_t k = 0; k < on.size(); ++k) {
    std::string message = checkField(fields[on[k]], values[k]);
    if (!message.empty()) return fail(k, message);
  }
  // Fields that depend on one another.
  std::optional<std::size_t> codeMin, codeMax;
  for (std::size_t k = 0; k < on.size(); ++k) {
    const Field& f = fields[on[k]];
    if (f.role == FieldRole::CodeMin) codeMin = k;
    if (f.role == FieldRole::CodeMax) codeMax = k;
    if (f.role == FieldRole::BandFrom && k + 1 < on.size() && *parseTime(values[k]) > *parseTime(values[k + 1]))
      return fail(k, kBandOrderMessage);
  }
  if (codeMin && codeMax &&
      *codeDigits(fields[on[*codeMin]], values[*codeMin]) > *codeDigits(fields[on[*codeMax]], values[*codeMax]))
    return fail(*codeMin, kCodeOrderMessage);

  // Each serial port to one device only: the page's own choices first, then
  // the devices of the other pages as the image holds them.
  ParameterImage after = image;
  for (std::size_t k = 0; k < on.size(); ++k) storeField(fields[on[k]], values[k], after);
  for (std::size_t k = 0; k < on.size(); ++k) {
    const Field& f = fields[on[k]];
    if (f.port < 0) continue;
    std::uint8_t port = after.at(f.block, static_cast<std::size_t>(f.byte));
    if (port == 0) continue;
    for (const Field& other : fields) {
      if (other.port < 0 || &other == &f) continue;
      if (after.at(other.block, static_cast<std::size_t>(other.byte)) == port)
        return fail(k, kPortDevices[static_cast<std::size_t>(other.port)].taken);
    }
  }
  // The communication module and the GSM/GPRS modem share the line.
  const Field* modem = nullptr;
  const Field* ethernet = nullptr;
  for (const Field& f : fields) {
    if (f.caption == "Modem GSM") modem = &f;
    if (f.caption == "Modulo ethernet" || f.caption == "Modulo ethernet/wi-fi") ethernet = &f;
  }
  if (modem && ethernet) {
    bool gsm = after.at(0, static_cast<std::size_t>(modem->byte)) != 0;
    bool module = after.at(0, static_cast<std::size_t>(ethernet->byte)) != 0;
    if (gsm && module) {
      for (std::size_t k = 0; k < on.size(); ++k) {
        const Field& f = fields[on[k]];
        if (&f == ethernet) return fail(k, kGsmSelected);
        if (f.byte == modem->byte && f.block == 0 && values[k] == "1" &&
            (f.encoding == Encoding::Flag || f.encoding == Encoding::Value))
          return fail(k, kEthernetSelected);
      }
    }
  }
  image = after;
  return {};
}

}  // namespace cfg
