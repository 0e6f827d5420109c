// The engine of Orvandel's web page: the same rules as play/adventure.cpp and
// the random reader of play/simulation.cpp, step for step and die for die.
// Every number of the rules comes with the book ("regles", written from the
// C++ Rules), so that a change there reaches the page too. Run by node, the
// file only hands out load() and autoplay(), for the tests; in a page it
// plays the book of the page.
"use strict";
let BOOK, RULES;
// Within the rules' range, as orvandel-play reads every number of a book.
function bounded(v, low) {
    v = Math.trunc(Number(v));
    return v === v ? Math.max(low, Math.min(RULES.valueLimit, v)) : 0;
}
function load(book) {
    BOOK = book;
    RULES = book.regles;
    for (const p of BOOK.pages) {
        p.h = bounded(p.h, -RULES.valueLimit); p.e = bounded(p.e, -RULES.valueLimit); p.c = bounded(p.c, -RULES.valueLimit);
        p.fleeRound = bounded(p.fleeRound, 0);
        for (const m of p.monsters) { m.h = bounded(m.h, 0); m.e = bounded(m.e, 0); }
        for (const f of p.finds) for (const k of ["h", "e", "c", "g", "f"]) f[k] = bounded(f[k], -RULES.valueLimit);
    }
}
function mulberry32(seed) {
    let state = seed >>> 0;
    const next = function () {
        state = (state + 0x6D2B79F5) >>> 0;
        let t = state;
        t = Math.imul(t ^ (t >>> 15), t | 1);
        t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
        return (t ^ (t >>> 14)) >>> 0;
    };
    next.state = function (s) { if (s !== undefined) state = s >>> 0; return state; };
    return next;
}
// `now` is all a reader's progress and nothing that grows with it: the
// journal keeps its last lines, a step back its last steps. The trace and
// the events it is made of are kept only for a random reader's run (#auto),
// which never steps back.
const LOG_KEEP = 12, HISTORY_KEEP = 50;
let rng, now, history, tracing = false, trace = [];
const d6 = () => 1 + Math.floor(rng() * RULES.dieSides / 4294967296);
// `count` dice, drawn one after another.
function roll(count) { const d = []; while (d.length < count) d.push(d6()); return d; }
const sum = d => d.reduce((a, b) => a + b, 0);
const below = n => Math.floor(rng() * n / 4294967296);
const isSet = w => w.s.trim() !== "";
function sheetText(s) {
    return "H=" + s.h + "/" + s.hm + " E=" + s.e + "/" + s.em + " C=" + s.c + "/" + s.cm +
        " or=" + s.gold + " provisions=" + s.prov;
}
function page() { return BOOK.pages[now.entry]; }
function change(s, key, max, delta) {
    if (delta > 0) s[key] = Math.max(s[key], Math.min(max, s[key] + delta));
    else s[key] = Math.max(0, s[key] + delta);
}
function traceLine(next) {
    const tokens = now.events.map(e =>
        e.k === "R" ? "R" + e.d.slice(0, RULES.fightDice).join("+") + "/" + e.d.slice(RULES.fightDice).join("+") :
        e.k === "L" ? "L" + e.d.join("+") : e.k === "C" ? "C" + (e.v + 1) + "/" + e.n : e.k);
    return now.steps + " " + page().id + " " + (tokens.length ? tokens.join(" ") : "-") + " | " +
        sheetText(now.sheet) + " | " + next;
}
function event(e) { if (tracing) now.events.push(e); }
function note(line) { now.log.push(line); if (now.log.length > LOG_KEEP) now.log.shift(); }
function newFight(p) {
    const f = {monster: 0, left: p.monsters.length ? p.monsters[0].e : 0, rounds: 0};
    skipBeaten(f, p);
    return f;
}
function skipBeaten(f, p) {
    while (f.monster < p.monsters.length && f.left <= 0)
        if (++f.monster < p.monsters.length) f.left = p.monsters[f.monster].e;
}
function won(f, p) { return f.monster >= p.monsters.length; }
const ENDINGS = {fin: "Fin de l'aventure.", mort: "Vous êtes mort.", rompu: "Ce renvoi ne mène à aucune entrée.",
                 boucle: "L'aventure tourne en rond."};
// An ending the author marked a victory or a death says so; a reader
// whose Endurance runs out dies wherever it is.
function endingAt(p, endurance) { return endurance <= 0 || p.end === "mort" ? "mort" : "fin"; }
function endingText(ending, p) {
    if (ending === "fin" && p.end === "victoire") return "Victoire ! Votre aventure s'achève ici.";
    return ENDINGS[ending] || "";
}
function end(ending) {
    now.phase = "over";
    now.ending = ending;
    if (tracing) trace.push(traceLine(ending));
    note(endingText(ending, page()));
}
function arrive(index) {
    const p = BOOK.pages[index];
    now.entry = index;
    ++now.steps;
    now.events = [];
    now.fight = newFight(p);
    now.fightDone = now.luckDone = now.mealTaken = false;
    note("Entrée " + p.id);
    if (now.steps > RULES.stepLimit) { end("boucle"); return null; }
    const s = now.sheet;
    if (p.h || p.e || p.c) {
        change(s, "h", s.hm, p.h); change(s, "e", s.em, p.e); change(s, "c", s.cm, p.c);
        note("Bonus : Habileté " + p.h + ", Endurance " + p.e + ", Chance " + p.c);
    }
    for (const f of p.finds) {
        change(s, "h", s.hm, f.h); change(s, "e", s.em, f.e); change(s, "c", s.cm, f.c);
        s.gold = bounded(s.gold + f.g, 0);
        s.prov = bounded(s.prov + f.f, 0);
        if (f.n !== "") s.items.push(f.n);
        note("Objet trouvé : " + f.n);
    }
    if (s.e <= 0) { end("mort"); return null; }
    return settle();
}
function settle() {
    const p = page();
    if (!now.fightDone && p.monsters.length) {
        if (!won(now.fight, p)) { now.phase = "fight"; return null; }
        now.fightDone = true;
        if (isSet(p.victory)) return p.victory;
    }
    if (!now.luckDone && p.luck) now.phase = "luck";
    else if (p.choices.length) now.phase = "choose";
    else end(endingAt(p, now.sheet.e));
    return null;
}
function go(w) {
    for (let next = w; next;) {
        if (next.t < 0) { now.broken = next.s; end("rompu"); return; }
        if (tracing) trace.push(traceLine(BOOK.pages[next.t].id));
        next = arrive(next.t);
    }
}
function remember() {
    if (tracing) return;
    history.push(JSON.parse(JSON.stringify(now)));
    if (history.length > HISTORY_KEEP) history.shift();
}
function fightRound() {
    remember();
    const p = page(), f = now.fight, m = p.monsters[f.monster];
    const myDice = roll(RULES.fightDice), theirDice = roll(RULES.fightDice);
    const mine = sum(myDice) + now.sheet.h, theirs = sum(theirDice) + m.h;
    ++f.rounds;
    let outcome = "égalité";
    if (mine > theirs) { outcome = "vous le blessez"; f.left = Math.max(0, f.left - RULES.wound); skipBeaten(f, p); }
    else if (mine < theirs) { outcome = "il vous blesse"; now.sheet.e = Math.max(0, now.sheet.e - RULES.wound); }
    event({k: "R", d: myDice.concat(theirDice)});
    note("Ronde " + f.rounds + " contre " + m.n + " : " + mine + " (" + myDice.join("+") + ") contre " +
         theirs + " (" + theirDice.join("+") + "), " + outcome);
    if (now.sheet.e <= 0) end("mort");
    else if (won(f, p)) {
        now.fightDone = true;
        if (isSet(p.victory)) go(p.victory);
        else { const next = settle(); if (next) go(next); }
    }
}
function canFlee() { return now.phase === "fight" && page().flee && now.fight.rounds >= page().fleeRound; }
function flee() {
    remember();
    event({k: "F"});
    note("Vous prenez la fuite.");
    if (page().fleePenalty) now.sheet.e = Math.max(0, now.sheet.e - RULES.fleePenalty);
    if (now.sheet.e <= 0) end("mort"); else go(page().fleeTo);
}
function testLuck() {
    remember();
    const d = roll(RULES.luckDice);
    const lucky = sum(d) <= now.sheet.c;
    event({k: "L", d: d});
    now.sheet.c = Math.max(0, now.sheet.c - RULES.luckCost);
    now.luckDone = true;
    note("Test de chance : " + sum(d) + (lucky ? ", chanceux." : ", malchanceux."));
    const w = lucky ? page().lucky : page().unlucky;
    if (isSet(w)) go(w); else { const next = settle(); if (next) go(next); }
}
function choose(i) {
    remember();
    event({k: "C", v: i, n: page().choices.length});
    note("Choix : " + page().choices[i].x);
    go(page().choices[i]);
}
function canEat() { return now.phase !== "over" && page().meal && !now.mealTaken && now.sheet.prov > 0; }
function eat() {
    remember();
    event({k: "M"});
    --now.sheet.prov;
    now.mealTaken = true;
    change(now.sheet, "e", now.sheet.em, RULES.meal);
    note("Repas : Endurance " + now.sheet.e + ".");
}
function start(seed) {
    rng = mulberry32(seed);
    history = [];
    trace = [];
    const h = bounded(sum(roll(RULES.habileteDice)) + RULES.habileteBase, 0),
        e = bounded(sum(roll(RULES.enduranceDice)) + RULES.enduranceBase, 0),
        c = bounded(sum(roll(RULES.chanceDice)) + RULES.chanceBase, 0);
    now = {seed: seed, entry: BOOK.first, phase: "over", ending: "", steps: 0, events: [], log: [],
           fight: {monster: 0, left: 0, rounds: 0}, fightDone: false, luckDone: false, mealTaken: false,
           sheet: {h: h, hm: h, e: e, em: e, c: c, cm: c, gold: 0, prov: bounded(RULES.provisions, 0), items: []}};
    if (BOOK.first < 0) return;
    if (tracing) trace.push("0 départ - | " + sheetText(now.sheet) + " | " + BOOK.pages[BOOK.first].id);
    const next = arrive(BOOK.first);
    if (next) go(next);
}
// The random reader: a meal when it helps, every fight to its end, a choice
// drawn when there are two or more.
function decide() {
    if (now.phase === "over") return false;
    if (canEat() && now.sheet.e < now.sheet.em) { eat(); return true; }
    if (now.phase === "fight") fightRound();
    else if (now.phase === "luck") testLuck();
    else if (now.phase === "choose") { const n = page().choices.length; choose(n > 1 ? below(n) : 0); }
    return true;
}
// The random reader's whole adventure, as orvandel-play --trace writes it.
function autoplay(seed) {
    tracing = true;
    start(seed);
    while (decide()) {}
    return trace.join("\n");
}
// Progress is kept under the book's content (its fingerprint, written by
// Orvandel beside the data), so that another book of the same title, or this
// one exported again after a change, starts afresh instead of taking a state
// that is not its own; and a saved state is checked before it is played.
let DATA, KEY;
const int = (v, low, high) => Number.isInteger(v) && v >= low && v <= high;
const texts = a => Array.isArray(a) && a.every(x => typeof x === "string");
function playable(s) {
    if (!s || typeof s !== "object" || !int(s.seed, 0, 4294967295) || !int(s.steps, 0, RULES.stepLimit + 1) ||
        !["fight", "luck", "choose", "over"].includes(s.phase) || !texts(s.log) || !Array.isArray(s.events) ||
        !s.sheet || !s.fight || ![s.fightDone, s.luckDone, s.mealTaken].every(b => typeof b === "boolean"))
        return false;
    if (s.entry === -1) return BOOK.first < 0 && s.phase === "over";
    if (!int(s.entry, 0, BOOK.pages.length - 1)) return false;
    const p = BOOK.pages[s.entry], f = s.fight, sh = s.sheet;
    return ["h", "hm", "e", "em", "c", "cm", "gold", "prov"].every(k => int(sh[k], 0, RULES.valueLimit)) &&
        texts(sh.items) && int(f.monster, 0, p.monsters.length) && int(f.left, 0, RULES.valueLimit) &&
        int(f.rounds, 0, Number.MAX_SAFE_INTEGER) &&
        (s.phase !== "fight" || f.monster < p.monsters.length) && (s.phase !== "luck" || p.luck) &&
        (s.phase !== "choose" || p.choices.length > 0) && (s.phase !== "over" || ["fin", "mort", "rompu", "boucle"].includes(s.ending));
}
function restore() {
    let saved = null;
    try { saved = JSON.parse(localStorage.getItem(KEY)); } catch (e) { return false; }
    if (!saved || saved.v !== 1 || saved.book !== DATA.dataset.empreinte || !int(saved.rng, 0, 4294967295) ||
        !playable(saved.now))
        return false;
    rng = mulberry32(0);
    rng.state(saved.rng);
    now = saved.now;
    history = Array.isArray(saved.history) && saved.history.every(playable) ? saved.history.slice(-HISTORY_KEEP) : [];
    return true;
}
// What does not fit is said on the page: a reader who closes it would lose
// the adventure. The steps back go first, then the whole.
function save() {
    const record = {v: 1, book: DATA.dataset.empreinte, rng: rng.state(), now: now, history: history};
    let kept = false;
    for (const r of [record, Object.assign({}, record, {history: []})]) {
        try { localStorage.setItem(KEY, JSON.stringify(r)); kept = true; break; } catch (e) {}
    }
    document.getElementById("sauvegarde").hidden = kept;
}
function el(tag, text, cls) { const x = document.createElement(tag); if (text !== undefined) x.textContent = text; if (cls) x.className = cls; return x; }
function button(text, action) { const b = el("button", text); b.onclick = () => { action(); save(); show(); }; return b; }
function restart() { start((Math.random() * 4294967296) >>> 0); }
function showState(acts) {
    const s = now.sheet;
    document.getElementById("feuille").textContent =
        "Habileté " + s.h + "/" + s.hm + " · Endurance " + s.e + "/" + s.em + " · Chance " + s.c + "/" + s.cm +
        " · Or " + s.gold + " · Provisions " + s.prov + (s.items.length ? " · Objets : " + s.items.join(", ") : "") +
        " · Graine " + now.seed;
    const main = document.getElementById("entree");
    main.replaceChildren();
    if (now.entry >= 0) {
        main.appendChild(el("h2", BOOK.pages[now.entry].id));
        for (const line of BOOK.pages[now.entry].text.split("\n")) main.appendChild(el("p", line));
    }
    if (now.phase === "fight") {
        const p = page(), m = p.monsters[now.fight.monster];
        acts.appendChild(el("p", "Combat contre " + m.n + " (Habileté " + m.h + ", Endurance " + now.fight.left + ")"));
        acts.appendChild(button("Combattre un assaut", fightRound));
        if (canFlee()) acts.appendChild(button("Fuir", flee));
    } else if (now.phase === "luck") {
        acts.appendChild(button("Tentez votre chance", testLuck));
    } else if (now.phase === "choose") {
        page().choices.forEach((c, i) => {
            const a = el("a", (c.x || "Continuer") + " — rendez-vous au " + (c.t >= 0 ? BOOK.pages[c.t].id : c.s));
            a.href = "#"; a.className = "choix";
            a.onclick = ev => { ev.preventDefault(); choose(i); save(); show(); };
            acts.appendChild(el("p")).appendChild(a);
        });
    } else {
        acts.appendChild(el("p", endingText(now.ending, page()),
                            now.ending === "fin" && page().end === "victoire" ? "victoire" : "fin"));
    }
    if (canEat()) acts.appendChild(button("Prendre un repas", eat));
    if (history.length) acts.appendChild(button("Revenir en arrière", () => { now = history.pop(); }));
    const log = document.getElementById("journal");
    log.replaceChildren();
    for (const line of now.log) log.appendChild(el("li", line));
}
// "Recommencer" stays offered whatever the state: a page that cannot show
// where the reader is must still let them start again.
function show() {
    const acts = document.getElementById("actions");
    acts.replaceChildren();
    try { showState(acts); } catch (e) { acts.replaceChildren(); }
    acts.appendChild(button("Recommencer", restart));
}
if (typeof module !== "undefined" && module.exports) module.exports = {load, autoplay, endings: () => BOOK.pages.map(p => p.id + " " + endingText(endingAt(p, 1), p))};
if (typeof document !== "undefined") {
    DATA = document.getElementById("livre");
    KEY = "orvandel:" + DATA.dataset.empreinte;
    load(JSON.parse(DATA.textContent));
    const params = new URLSearchParams(location.hash.slice(1));
    if (params.has("graine") && params.has("auto"))
        document.getElementById("trace").textContent = autoplay(Number(params.get("graine")) >>> 0);
    else if (params.has("graine"))
        start(Number(params.get("graine")) >>> 0);
    else if (!restore()) {
        restart();
        save();
    }
    document.title = BOOK.title;
    document.getElementById("titre").textContent = BOOK.title;
    show();
}
