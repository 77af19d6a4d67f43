/* The floor for chisei's benchmark: the least a C program can do to read
   the same answers and write the same bytes, one write per line. No terminal
   handling, no checks beyond the answer rules. */
#include <unistd.h>

static const char *const intro[] = {
    "Rispondi alle domande digitando il numero della la lettera corrispondente.\n",
    "Dopo ogni risposta per confermare batti INVIO.\n",
    "Alla fine apparir\xC3\xA0 il tuo profilo\n",
    "\n",
    "ALLORA SEI PRONTO PER COMINCIARE? (batti un tasto per iniziare)\n",
    "\n",
};

static const char *const questions[8][7] = {
    {"\n", "Qual \xC3\xA8 il tuo piatto preferito?\n", "\n", "a) plancton\n",
     "b) pizza S.Daniele e patate arroste\n", "c) ghiande arroste\n",
     "d) crepes alla Nutella\n"},
    {"\n", "Di che cosa hai paura?\n", "\n", "a) delle iene\n", "b) dell'ABS\n",
     "c) dei ghiacciai che crollano\n", "d) di essere fotografata in pose vergognose\n"},
    {"\n", "Qual \xC3\xA8 il tuo programma preferito in tv?\n", "\n", "a) Linea Blu\n",
     "b) Easy Driver\n", "c) i documentari sui roditori\n", "d) Ally Mc Beal\n"},
    {"\n", "A cosa non puoi rinunciare?\n", "\n", "a) all'acqua\n", "b) alla benzina\n",
     "c) alle ghiande\n", "d) al telefonino\n"},
    {"\n", "Cosa fai nel tempo libero?\n", "\n", "a) ballo sulle note di 'asereje'\n",
     "b) guardo film\n", "c) scavo buche nella neve\n", "d) gioco a biliardo\n"},
    {"\n", "Quale tra questi film preferisci?\n", "\n",
     "a) Tentacoli (una piovra gigante semina il panico...)\n",
     "b) Duel (un camion insegue una macchina e tenta di distruggerla...\n",
     "c) L'era glaciale (uno scoiattolo nel tentativo di nascondere una ghianda...\n",
     "d) 7 anni in Tibet (uno sciatore vive con le capre tibetane...)\n"},
    {"\n", "L'ultimo incidente che hai avuto?\n", "\n",
     "a) mi si \xC3\xA8 rotto un tentacolo sciando\n",
     "b) ho preso un muretto in retromarcia\n",
     "c) ho causato una valanga mentre seppellivo una ghianda\n",
     "d) mi sono macchiata i pantaloni chiari con la Nutella\n"},
    {"\n", "Nella tua casa cosa non pu\xC3\xB2 mancare?\n", "\n", "a) un'acquario\n",
     "b) schermo tv effetto cinema\n", "c) (tana, prego) la bat-caverna\n",
     "d) libri da consigliare a chi non li ha letti\n"},
};

static const char *const last_options[8] = {
    "e) carogne putrefatte\n",
    "e) praticamente di niente...\n",
    "e) Le iene\n",
    "e) a ridacchiare\n",
    "e) disegno piovre e le attacco al muro\n",
    "e) Le iene (di Borvaldini)\n",
    "e) sono caduta dalla seggiovia\n",
    "e) una scaletta\n",
};

static const char *const profiles[5] = {
    "\nprofilo A\nSei una piovra!\n",
    "\nprofilo B\nSei un camion!\n",
    "\nprofilo C\nSei uno scoiattolo!\n",
    "\nprofilo D\nSei una capra tibetana!\n",
    "\nprofilo E\nSEI UNA IENA, COMPLIMENTI!\n",
};

static char in[4096];
static long in_pos, in_len;

static void put(const char *s)
{
    const char *e = s;
    while (*e)
        e++;
    write(1, s, (size_t)(e - s));
}

/* Writes a text of several lines one line at a time. */
static void put_lines(const char *s)
{
    while (*s) {
        const char *e = s;
        while (*e != '\n')
            e++;
        write(1, s, (size_t)(e - s + 1));
        s = e + 1;
    }
}

static int next(void)
{
    if (in_pos == in_len) {
        in_len = read(0, in, sizeof in);
        in_pos = 0;
        if (in_len <= 0)
            return -1;
    }
    return (unsigned char)in[in_pos++];
}

int main(void)
{
    int cont[5] = {0}, k, i, ch, top = 0;
    char line[32];
    for (i = 0; i < 6; i++)
        put(intro[i]);
    for (k = 0; k < 8; k++) {
        do {
            for (i = 0; i < 7; i++)
                put(questions[k][i]);
            put(last_options[k]);
            do
                ch = next();
            while (ch == ' ' || (ch >= '\t' && ch <= '\r'));
            if (ch < 0)
                return 1;
        } while (ch < 'a' || ch > 'e');
        cont[ch - 'a']++;
    }
    for (i = 0; i < 5; i++)
        if (cont[i] > top)
            top = cont[i];
    put_lines("\nEcco i risultati:\n");
    for (i = 0; i < 5; i++) {
        line[i * 5 + 0] = ' ';
        line[i * 5 + 1] = (char)('a' + i);
        line[i * 5 + 2] = '=';
        line[i * 5 + 3] = ' ';
        line[i * 5 + 4] = (char)('0' + cont[i]);
    }
    line[25] = '\n';
    write(1, line + 1, 25);
    for (i = 0; i < 5; i++)
        if (cont[i] == top)
            put_lines(profiles[i]);
    return 0;
}
