#!/usr/bin/env python3
"""Deterministic generator of realistic combined-format access logs.

Every line is a synthetic request to one web site: a client host drawn from a
pool of --hosts distinct addresses (a few with names), a path drawn from a pool
of --paths distinct documents (pages, images, scripts, downloads, some with a
query string), a method, protocol, status, size, referer and user agent with
frequencies typical of a small public site. Popularity of hosts and paths
follows a Zipf-like law; every pooled value occurs at least once when there
are enough lines. Timestamps are strictly increasing (at most one line per
second) and follow a day/night profile over --days days.

The same arguments give byte-identical output. Python 3 standard library only.

With --crawler the log is instead one client (a search engine's robot) walking
-n distinct pages, one request every --interval seconds from the first second of
--start on, so that the whole walk is one visit for any visit timeout of a minute
or more.

With --realistic the paths, client hosts, referrers and user agents are drawn from
bench/realistic.sample, a hand-written sample in the shape of a real small site's traffic
(long browser strings, feed readers and robots, a few static files that every page pulls,
a long tail of articles), grown by variation to --paths, --hosts, --referrers and
--agents distinct values (by default the distinct counts of such a site's 10,000 lines).

Examples (from the project root):
  python3 bench/genlog.py -n 1000000 -o /tmp/big.log
  python3 bench/genlog.py -n 50000 --days 7 --paths 2000 --hosts 800 --seed 3
  python3 bench/genlog.py -n 200000 --crawler --start 2024-03-03 -o /tmp/crawl.log
  python3 bench/genlog.py -n 1000000 --realistic --days 60 -o /tmp/real.log
"""
import argparse
import datetime
import os
import random
import re
import sys

MONTHS = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun',
          'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec']

SECTIONS = ['', 'blog', 'docs', 'news', 'products', 'support', 'about', 'archive',
            'downloads', 'events', 'wiki', 'static/img', 'static/css', 'static/js',
            'api/v1', 'shop/items', 'forum/topic']
WORDS = ['index', 'welcome', 'install', 'release-notes', 'faq', 'pricing', 'contact',
         'getting-started', 'overview', 'changelog', 'team', 'history', 'roadmap',
         'tutorial', 'reference', 'search', 'feed', 'sitemap', 'logo', 'banner',
         'screenshot', 'theme', 'main', 'vendor', 'photo', 'thumbnail', 'report']
# extension, share of paths, typical size in bytes
KINDS = [('html', 34, 9000), ('php', 8, 14000), ('png', 16, 42000), ('jpg', 12, 120000),
         ('gif', 4, 6000), ('css', 7, 18000), ('js', 9, 60000), ('ico', 1, 1150),
         ('pdf', 3, 900000), ('tar.gz', 2, 25000000), ('xml', 2, 30000), ('', 2, 7000)]

AGENTS = [
    (30, 'Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) '
         'Chrome/120.0.0.0 Safari/537.36'),
    (12, 'Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like '
         'Gecko) Version/17.2 Safari/605.1.15'),
    (10, 'Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:121.0) Gecko/20100101 Firefox/121.0'),
    (10, 'Mozilla/5.0 (iPhone; CPU iPhone OS 17_2 like Mac OS X) AppleWebKit/605.1.15 (KHTML, '
         'like Gecko) Version/17.2 Mobile/15E148 Safari/604.1'),
    (9, 'Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) '
        'Chrome/120.0.6099.144 Mobile Safari/537.36'),
    (6, 'Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) '
        'Chrome/119.0.0.0 Safari/537.36'),
    (5, 'Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)'),
    (3, 'Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)'),
    (2, 'Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) '
        'Chrome/120.0.0.0 Safari/537.36 Edg/120.0.2210.91'),
    (2, 'curl/8.5.0'),
    (2, 'Wget/1.21.4'),
    (1, 'Python-urllib/3.11'),
    (1, 'Mozilla/4.08 [en] (Win98; I ;Nav)'),
    (1, 'Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)'),
    (1, 'Mozilla/5.0 (compatible; YandexBot/3.0; +http://yandex.com/bots)'),
    (1, '-'),
]
METHODS = [(90, 'GET'), (6, 'POST'), (3, 'HEAD'), (1, 'OPTIONS')]
PROTOCOLS = [(70, 'HTTP/1.1'), (22, 'HTTP/2.0'), (8, 'HTTP/1.0')]
STATUSES = [(78, 200), (9, 304), (5, 404), (3, 301), (2, 302), (1, 206), (1, 403), (1, 500)]
SEARCH = ['https://www.google.com/search?q=', 'https://www.bing.com/search?q=',
          'https://duckduckgo.com/?q=']
USERS = ['alice', 'bob', 'carol', 'dave', 'erin']
# relative traffic per hour of day
PROFILE = [22, 15, 10, 8, 7, 9, 16, 30, 48, 62, 70, 74,
           76, 75, 73, 71, 68, 64, 60, 58, 55, 48, 38, 29]


def weighted(rng, table, k):
    return rng.choices([v for _, v in table], weights=[w for w, _ in table], k=k)


def make_paths(rng, count):
    shares = [s for _, s, _ in KINDS]
    out, seen = [], set()
    while len(out) < count:
        ext, _, size = rng.choices(KINDS, weights=shares)[0]
        section = rng.choice(SECTIONS)
        name = rng.choice(WORDS)
        if rng.random() < 0.7:
            name = '%s-%d' % (name, rng.randrange(1, 10 * count + 10))
        path = '/' + (section + '/' if section else '') + name + ('.' + ext if ext else '/')
        if ext in ('php', '') and rng.random() < 0.3:
            path += '?id=%d&lang=%s' % (rng.randrange(1, 5000), rng.choice(['en', 'de', 'fr']))
        if path not in seen:
            seen.add(path)
            out.append((path, size))
    return out


def make_hosts(rng, count):
    out, seen = [], set()
    while len(out) < count:
        first = rng.randint(1, 223)
        if first in (10, 127):
            continue
        ip = '%d.%d.%d.%d' % (first, rng.randint(0, 255), rng.randint(0, 255),
                              rng.randint(1, 254))
        if rng.random() < 0.15:
            ip = 'host-%s.%s' % (ip.replace('.', '-'),
                                 rng.choice(['example.net', 'isp.example.org', 'dsl.example.com']))
        if ip not in seen:
            seen.add(ip)
            out.append(ip)
    return out


def draw(rng, pool, n, skew):
    """n values from pool: each once (when n allows), the rest Zipf-like, shuffled."""
    out = list(pool[:n])
    if n > len(pool):
        cum, total = [], 0.0
        for rank in range(len(pool)):
            total += 1.0 / (rank + 3) ** skew
            cum.append(total)
        out += rng.choices(pool, cum_weights=cum, k=n - len(pool))
    rng.shuffle(out)
    return out


def timestamps(rng, n, days):
    """n strictly increasing second offsets within days, following PROFILE."""
    hours = days * 24
    if n > hours * 3600:
        sys.exit('genlog: %d lines do not fit in %d days at one line per second' % (n, days))
    weights = [PROFILE[h % 24] * rng.uniform(0.85, 1.15) for h in range(hours)]
    total = sum(weights)
    quota = [min(3600, int(n * w / total)) for w in weights]
    rest = n - sum(quota)
    order = sorted(range(hours), key=lambda i: -weights[i])
    while rest > 0:  # hand out the rounding rest, busiest hours first
        for i in order:
            if rest == 0:
                break
            if quota[i] < 3600:
                quota[i] += 1
                rest -= 1
    out = []
    for hour, q in enumerate(quota):
        out.extend(hour * 3600 + s for s in sorted(rng.sample(range(3600), q)))
    return out


def crawl(a, out):
    """One robot requesting every page of a pool of a.lines distinct pages once."""
    rng = random.Random(a.seed)
    n = a.lines
    if (n - 1) * a.interval >= a.days * 86400:
        sys.exit('genlog: %d requests every %d s do not fit in %d days' % (n, a.interval, a.days))
    shares = [k[1] for k in KINDS]
    paths = []
    for i in range(n):  # the page's number makes every path distinct
        ext, _, size = rng.choices(KINDS, weights=shares)[0]
        section = rng.choice(SECTIONS)
        paths.append(('/' + (section + '/' if section else '') + '%s-%d' % (rng.choice(WORDS), i)
                      + ('.' + ext if ext else '/'), size))
    rng.shuffle(paths)
    host = next(h for h in make_hosts(rng, 20) if not h.startswith('host-'))  # a numeric address
    agent = 'Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)'
    day0 = datetime.datetime.strptime(a.start, '%Y-%m-%d')
    write = out.write
    for i in range(n):
        path, typical = paths[i]
        t = day0 + datetime.timedelta(seconds=i * a.interval)
        size = max(1, int(typical * rng.lognormvariate(0, 0.6)))
        write('%s - - [%02d/%s/%04d:%02d:%02d:%02d +0000] "GET %s HTTP/1.1" 200 %d "-" "%s"\n' % (
            host, t.day, MONTHS[t.month - 1], t.year, t.hour, t.minute, t.second, path, size,
            agent))


SAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'realistic.sample')
REAL_STATUSES = [(910, 200), (45, 304), (21, 404), (10, 206), (8, 301), (3, 403), (2, 500),
                 (1, 416)]
REAL_METHODS = [(990, 'GET'), (6, 'HEAD'), (4, 'POST')]
REAL_PROTOCOLS = [(95, 'HTTP/1.1'), (5, 'HTTP/1.0')]


def read_sample(path):
    """The sample's lists: name -> [(weight, value, size)]."""
    lists, current = {}, None
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.rstrip('\n')
            if not line or line.startswith('#'):
                continue
            if line.startswith('['):
                current = lists.setdefault(line.strip('[]'), [])
                continue
            fields = line.split('\t')
            size = int(fields[2]) if len(fields) > 2 else 0
            current.append((float(fields[0]), fields[1], size))
    return lists


def vary(rng, kind, value, k):
    """The k-th variant of a sample value: another version, page, query or address."""
    if kind == 'agents':
        if value == '-':
            return 'Mozilla/5.0 (compatible; Fetcher/%d.%d)' % (k % 9 + 1, k)
        # Another release: the numbers of the version tokens change, "Mozilla/5.0" stays.
        numbers = re.sub(
            r'(?<!Mozilla)/(\d+)', lambda m: '/' + str(int(m.group(1)) + rng.randint(0, 3)),
            value)
        return numbers if numbers != value else '%s Variant/%d' % (value, k)
    if kind == 'paths':
        stem, dot, ext = value.rpartition('.')
        if not dot or '/' in ext or '?' in ext:
            return value.rstrip('/') + '/page-%d/' % k
        return '%s-%d.%s' % (stem, k, ext)
    if kind == 'referrers':
        if value == '-':
            return 'http://www.example.org/blog/post-%d.html' % k
        return value + ('&' if '?' in value else '?') + 'from=%d' % k
    first = rng.randint(1, 223)
    address = '%d.%d.%d.%d' % (first, rng.randint(0, 255), rng.randint(0, 255),
                               rng.randint(1, 254))
    r = rng.random()
    if r < 0.10:
        return 'host-%s.dsl.example.net' % address.replace('.', '-')
    if r < 0.13:
        return '2001:db8:%x:%x::%x' % (rng.randrange(65536), rng.randrange(65536), k)
    return address


def grow(rng, kind, sample, count):
    """count distinct values with weights: the sample's, then variants on a long tail."""
    pool, seen = [], set()
    for weight, value, size in sample:
        if value not in seen and len(pool) < count:
            seen.add(value)
            pool.append((weight, value, size))
    lightest = min(w for w, _, _ in sample)
    k = 0
    while len(pool) < count:
        weight, value, size = sample[k % len(sample)]
        variant = vary(rng, kind, value, k)
        k += 1
        if variant in seen:
            continue
        seen.add(variant)
        tail = len(pool) - len(sample)
        pool.append((lightest * 0.6 / (1 + tail / 40.0), variant, size))
    return pool


def draw_weighted(rng, pool, n):
    """n values of pool: each once (when n allows), the rest by weight, shuffled."""
    out = [value for _, value, _ in pool[:n]]
    if n > len(pool):
        out += rng.choices([v for _, v, _ in pool], weights=[w for w, _, _ in pool],
                           k=n - len(pool))
    rng.shuffle(out)
    return out


def realistic(a, out):
    rng = random.Random(a.seed)
    n = a.lines
    sample = read_sample(a.sample)
    pools = {kind: grow(rng, kind, sample[kind], count) for kind, count in (
        ('paths', a.paths), ('hosts', a.hosts), ('referrers', a.referrers),
        ('agents', a.agents))}
    sizes = {value: size for _, value, size in pools['paths']}
    drawn = {kind: draw_weighted(rng, pool, n) for kind, pool in pools.items()}
    methods = weighted(rng, REAL_METHODS, n)
    protocols = weighted(rng, REAL_PROTOCOLS, n)
    statuses = weighted(rng, REAL_STATUSES, n)
    offsets = timestamps(rng, n, a.days)
    day0 = datetime.datetime.strptime(a.start, '%Y-%m-%d')
    day_text = []
    for d in range(a.days):
        t = day0 + datetime.timedelta(days=d)
        day_text.append('%02d/%s/%04d' % (t.day, MONTHS[t.month - 1], t.year))
    write = out.write
    for i in range(n):
        path, status = drawn['paths'][i], statuses[i]
        if status == 304:
            size = '-' if rng.random() < 0.3 else '0'
        elif status in (301, 403, 404, 416, 500):
            size = str(rng.randint(200, 520))
        else:
            size = str(max(1, int(sizes[path] * rng.lognormvariate(0, 0.3))))
        d, s = divmod(offsets[i], 86400)
        write('%s - - [%s:%02d:%02d:%02d +0000] "%s %s %s" %d %s "%s" "%s"\n' % (
            drawn['hosts'][i], day_text[d], s // 3600, s // 60 % 60, s % 60, methods[i], path,
            protocols[i], status, size, drawn['referrers'][i], drawn['agents'][i]))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('-n', '--lines', type=int, default=1000000)
    ap.add_argument('--days', type=int, default=30)
    ap.add_argument('--start', default='2024-03-01', help='first day, YYYY-MM-DD')
    ap.add_argument('--paths', type=int, default=5000, help='distinct paths')
    ap.add_argument('--hosts', type=int, default=20000, help='distinct client hosts')
    ap.add_argument('--skew', type=float, default=1.0, help='Zipf exponent of popularity')
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--crawler', action='store_true',
                    help='one robot walking -n distinct pages in one visit')
    ap.add_argument('--interval', type=int, default=1,
                    help='seconds between two requests of the robot (--crawler)')
    ap.add_argument('--realistic', action='store_true',
                    help='draw paths, hosts, referrers and agents from bench/realistic.sample')
    ap.add_argument('--sample', default=SAMPLE, help='the sample of --realistic')
    ap.add_argument('--referrers', type=int, default=630, help='distinct referrers (--realistic)')
    ap.add_argument('--agents', type=int, default=560, help='distinct agents (--realistic)')
    ap.add_argument('-o', '--output', default='-')
    a = ap.parse_args(argv)
    if a.realistic:
        # The distinct counts of a real small site's 10,000 lines, unless given.
        given = argv if argv is not None else sys.argv[1:]
        if '--paths' not in given:
            a.paths = 1500
        if '--hosts' not in given:
            a.hosts = 1750
    if a.lines < 1 or a.days < 1 or a.paths < 1 or a.hosts < 1 or a.interval < 1:
        ap.error('lines, days, paths, hosts and interval must be positive')
    if a.realistic:
        out = sys.stdout if a.output == '-' else open(a.output, 'w', encoding='utf-8', newline='\n')
        realistic(a, out)
        if out is not sys.stdout:
            out.close()
        print('genlog: %d realistic lines over %d days from %s, %d paths, %d hosts, %d referrers, '
              '%d agents, seed %d' % (a.lines, a.days, a.start, a.paths, a.hosts, a.referrers,
                                      a.agents, a.seed), file=sys.stderr)
        return
    if a.crawler:
        out = sys.stdout if a.output == '-' else open(a.output, 'w', encoding='ascii', newline='\n')
        crawl(a, out)
        if out is not sys.stdout:
            out.close()
        print('genlog: %d robot requests every %d s from %s, seed %d'
              % (a.lines, a.interval, a.start, a.seed), file=sys.stderr)
        return

    rng = random.Random(a.seed)
    n = a.lines
    paths = draw(rng, make_paths(rng, a.paths), n, a.skew)
    hosts = draw(rng, make_hosts(rng, a.hosts), n, a.skew)
    methods = weighted(rng, METHODS, n)
    protocols = weighted(rng, PROTOCOLS, n)
    statuses = weighted(rng, STATUSES, n)
    agents = weighted(rng, AGENTS, n)
    offsets = timestamps(rng, n, a.days)
    page_paths = [p for p, _ in make_paths(random.Random(a.seed + 1), 50)]

    day0 = datetime.datetime.strptime(a.start, '%Y-%m-%d')
    day_text = []
    for d in range(a.days):
        t = day0 + datetime.timedelta(days=d)
        day_text.append('%02d/%s/%04d' % (t.day, MONTHS[t.month - 1], t.year))

    out = sys.stdout if a.output == '-' else open(a.output, 'w', encoding='ascii', newline='\n')
    write = out.write
    for i in range(n):
        path, typical = paths[i]
        status = statuses[i]
        if status == 304:
            size = '-' if rng.random() < 0.5 else '0'
        elif status in (301, 302, 403, 404, 500):
            size = str(rng.randint(150, 600))
        else:
            size = str(max(1, int(typical * rng.lognormvariate(0, 0.6))))
        r = rng.random()
        if r < 0.40:
            referer = '-'
        elif r < 0.85:
            referer = 'https://www.example.com' + rng.choice(page_paths)
        else:
            referer = rng.choice(SEARCH) + rng.choice(WORDS) + '+' + rng.choice(WORDS)
        user = rng.choice(USERS) if rng.random() < 0.02 else '-'
        d, s = divmod(offsets[i], 86400)
        write('%s - %s [%s:%02d:%02d:%02d +0000] "%s %s %s" %d %s "%s" "%s"\n' % (
            hosts[i], user, day_text[d], s // 3600, s // 60 % 60, s % 60,
            methods[i], path, protocols[i], status, size, referer, agents[i]))
    if out is not sys.stdout:
        out.close()
    print('genlog: %d lines over %d days from %s, %d paths, %d hosts, seed %d'
          % (n, a.days, a.start, a.paths, a.hosts, a.seed), file=sys.stderr)


if __name__ == '__main__':
    main()
