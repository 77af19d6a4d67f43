// Every text the quiz writes. Texts are 7-bit ASCII; a line that needs an
// accented letter is stored as two fragments, and the letter itself (a code
// page 850 code held in the quiz's variable c) is written between them.
#pragma once

// One line of text: head, then c and tail when tail is set.
struct line {
    const char *head;
    const char *tail = nullptr;
};

struct question {
    unsigned char accent; // the value c takes when this question is shown; 0: leave c alone
    line prompt;
    line options[5];
};

struct profile {
    const char *label;
    const char *verdict;
};

// Code page 850 codes of the accented letters.
inline constexpr unsigned char a_grave = 133; // à
inline constexpr unsigned char e_grave = 138; // è
inline constexpr unsigned char o_grave = 149; // ò

inline constexpr line intro[] = {
    {"Rispondi alle domande digitando il numero della la lettera corrispondente."},
    {"Dopo ogni risposta per confermare batti INVIO."},
    {"Alla fine apparir", " il tuo profilo"},
    {""},
    {"ALLORA SEI PRONTO PER COMINCIARE? (batti un tasto per iniziare)"},
    {""},
};

inline constexpr question questions[8] = {
    {e_grave,
     {"Qual ", " il tuo piatto preferito?"},
     {{"a) plancton"},
      {"b) pizza S.Daniele e patate arroste"},
      {"c) ghiande arroste"},
      {"d) crepes alla Nutella"},
      {"e) carogne putrefatte"}}},
    {0,
     {"Di che cosa hai paura?"},
     {{"a) delle iene"},
      {"b) dell'ABS"},
      {"c) dei ghiacciai che crollano"},
      {"d) di essere fotografata in pose vergognose"},
      {"e) praticamente di niente..."}}},
    {0,
     {"Qual ", " il tuo programma preferito in tv?"},
     {{"a) Linea Blu"},
      {"b) Easy Driver"},
      {"c) i documentari sui roditori"},
      {"d) Ally Mc Beal"},
      {"e) Le iene"}}},
    {0,
     {"A cosa non puoi rinunciare?"},
     {{"a) all'acqua"},
      {"b) alla benzina"},
      {"c) alle ghiande"},
      {"d) al telefonino"},
      {"e) a ridacchiare"}}},
    {0,
     {"Cosa fai nel tempo libero?"},
     {{"a) ballo sulle note di 'asereje'"},
      {"b) guardo film"},
      {"c) scavo buche nella neve"},
      {"d) gioco a biliardo"},
      {"e) disegno piovre e le attacco al muro"}}},
    {0,
     {"Quale tra questi film preferisci?"},
     {{"a) Tentacoli (una piovra gigante semina il panico...)"},
      {"b) Duel (un camion insegue una macchina e tenta di distruggerla..."},
      {"c) L'era glaciale (uno scoiattolo nel tentativo di nascondere una ghianda..."},
      {"d) 7 anni in Tibet (uno sciatore vive con le capre tibetane...)"},
      {"e) Le iene (di Borvaldini)"}}},
    {0,
     {"L'ultimo incidente che hai avuto?"},
     {{"a) mi si ", " rotto un tentacolo sciando"},
      {"b) ho preso un muretto in retromarcia"},
      {"c) ho causato una valanga mentre seppellivo una ghianda"},
      {"d) mi sono macchiata i pantaloni chiari con la Nutella"},
      {"e) sono caduta dalla seggiovia"}}},
    {o_grave,
     {"Nella tua casa cosa non pu", " mancare?"},
     {{"a) un'acquario"},
      {"b) schermo tv effetto cinema"},
      {"c) (tana, prego) la bat-caverna"},
      {"d) libri da consigliare a chi non li ha letti"},
      {"e) una scaletta"}}},
};

inline constexpr const char *results_title = "Ecco i risultati:";
inline constexpr const char *tally_labels[5] = {"a= ", " b= ", " c= ", " d= ", " e= "};

inline constexpr profile profiles[5] = {
    {"profilo A", "Sei una piovra!"},
    {"profilo B", "Sei un camion!"},
    {"profilo C", "Sei uno scoiattolo!"},
    {"profilo D", "Sei una capra tibetana!"},
    {"profilo E", "SEI UNA IENA, COMPLIMENTI!"},
};
