#!/usr/bin/env python3
"""Times orvandel-play on a generated 400-entry book with fights.

    play/timing.py BUILD/play/orvandel-play [ADVENTURES] [STRATEGY]

The book is made like a real one: mostly forward references, a third of the
entries with a fight, tests of luck, meals and provisions, a few references
back (loops) and a score of endings; always the same book.
"""
import os
import random
import subprocess
import sys
import tempfile
import time

ENTRIES = 400


def entry(i, rnd):
    def ahead():
        return str(min(ENTRIES - 1, i + rnd.randint(1, 25)))

    parts, types = [], []
    if i >= ENTRIES - 20:
        return '\t<Attr id="%03d">\n\t\t<Text>Fin %d.</Text>\n\t\t<Type>X</Type>\n\t</Attr>\n' % (i, i)
    kind = rnd.randrange(100)
    if kind < 33:
        types.append("A")
        monsters = "".join(
            '\t\t\t<Elem id="%d" Name="Monstre %d" habilete="%d" endurance="%d" Value="%s" />\n'
            % (m + 1, m + 1, rnd.randint(5, 10), rnd.randint(4, 10), ahead())
            for m in range(rnd.choice([1, 1, 1, 2, 3])))
        parts.append('\t\t<Monster Type="U">\n%s\t\t</Monster>\n' % monsters)
        if kind < 8:
            types.append("F")
            parts.append('\t\t<Flee active="1" Penality="1" Round="2" Ref="%s"/>\n' % ahead())
    elif kind < 43:
        types.append("L")
        parts.append('\t\t<Luck active="1"><Lucky Value="%s">Chanceux</Lucky>'
                     '<Unlucky Value="%s">Malchanceux</Unlucky></Luck>\n' % (ahead(), ahead()))
    else:
        types.append("C")
        choices = [ahead() for _ in range(rnd.randint(1, 3))]
        if rnd.randrange(100) < 5:
            choices.append(str(max(0, i - rnd.randint(1, 30))))
        parts.append('\t\t<Choices active="1">%s</Choices>\n' % "".join(
            '<Elem id="%d" Value="%s">Aller au %s</Elem>' % (n + 1, c, c) for n, c in enumerate(choices)))
    if kind % 10 == 3:
        types.insert(0, "E")
        parts.append('\t\t<Objects><Elem exchange="0" throw="0"><Text>Pain</Text><Bonus>'
                     '<Elem id="1" Name="habilete" Value="0" /><Elem id="2" Name="endurance" Value="0" />'
                     '<Elem id="3" Name="chance" Value="0" /></Bonus><Gold Value="1"/><Food Value="2"/>'
                     '<Other></Other></Elem></Objects>\n')
    return ('\t<Attr id="%03d">\n\t\t<Text>Entrée %d.</Text>\n\t\t<Type>%s</Type>\n%s\t</Attr>\n'
            % (i, i, ",".join(types), "".join(parts)))


def main():
    program = sys.argv[1]
    adventures = sys.argv[2] if len(sys.argv) > 2 else "100000"
    strategy = sys.argv[3] if len(sys.argv) > 3 else "random"
    rnd = random.Random(400)
    book = '<?xml version="1.0" encoding="UTF-8"?>\n<Livre>\n%s</Livre>\n' % "".join(
        entry(i, rnd) for i in range(ENTRIES))
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "livre-400.xml")
        with open(path, "w", encoding="utf-8") as f:
            f.write(book)
        start = time.perf_counter()
        run = subprocess.run(["taskset", "-c", "0", program, path, "--simulate", adventures,
                              "--seed", "1", "--strategy", strategy],
                             capture_output=True, text=True)
        elapsed = time.perf_counter() - start
    print("\n".join(run.stdout.splitlines()[:6]))
    print("...\n%s aventures (%s), statut %d : %.2f s" % (adventures, strategy, run.returncode, elapsed))


if __name__ == "__main__":
    main()
