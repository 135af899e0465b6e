// The renderer: runs last in a context where marked (and, for text with "$", KaTeX; with
// GITHUB, the extras' libraries the text needs) has been evaluated and MD_SRC, HAS_MATH
// and GITHUB are set. Its completion value is the HTML fragment, or null when anything
// goes wrong; it never throws.
(function () {
  // Past this many characters a fenced block stays unhighlighted: some of highlight.js's
  // grammars take time quadratic in the text (a 40 kB Java block outlasts the time limit),
  // and one such block would otherwise turn the whole page into text.
  var maxHighlightedFence = 16384;
  // The page's own ids (its article, its watermark), which no heading may take.
  var pageIds = ["content", "md", "md-watermark"];
  // Elements whose text gets no emoji: code and math, as on GitHub, and those whose text is
  // not shown as the page's text (raw text and escapable raw text), which run to their end tag.
  var rawTextElements = /^(?:script|style|textarea|title|xmp|iframe|noembed|noframes|noscript|plaintext)$/;
  var verbatimElements = /^(?:pre|code|tt|math)$/;
  var mathFences = null;  // with GITHUB and KaTeX: typesets a ```math block
  // Bounds on the table a YAML front matter is shown as.
  var maxFrontMatterTable = 1 << 20;
  var maxFrontMatterDepth = 64;

  try {
    // A leading front-matter block (--- or +++ fences, optional byte-order mark) is dropped;
    // with GITHUB it is shown at the top instead.
    var src = String(MD_SRC);
    var frontMatter =
      /^\uFEFF?(?:---[ \t]*\r?\n([\s\S]*?)\r?\n---|\+\+\+[ \t]*\r?\n([\s\S]*?)\r?\n\+\+\+)[ \t]*\r?\n/.exec(src);
    var top = "";
    if (frontMatter) {
      src = src.slice(frontMatter[0].length);
      // TOML is shown as code: no TOML parser is loaded.
      var toml = frontMatter[2];
      if (GITHUB && toml === undefined) top = yamlFrontMatter(frontMatter[1]);
      else if (GITHUB && toml.trim()) top = codeBlock(toml, "toml");
    }

    if (typeof marked === "undefined" || !marked.parse) return null;

    if (HAS_MATH && typeof katex !== "undefined" && marked.use) {
      var kx = function (expr, block) {
        try {
          return katex.renderToString(expr, {
            displayMode: block,
            output: "mathml",
            throwOnError: false,
          });
        } catch (e) {
          return null;
        }
      };

      // Length of the run of backticks that begins at i.
      var backtickRun = function (s, i) {
        var n = 0;
        while (s.charAt(i + n) === "`") n++;
        return n;
      };

      // Index of the next run of exactly n backticks at or after `from`, or -1.
      var closingRun = function (s, from, n) {
        var i = s.indexOf("`", from);
        while (i !== -1) {
          var m = backtickRun(s, i);
          if (m === n) return i;
          i = s.indexOf("`", i + m);
        }
        return -1;
      };

      // Index of the first "$$" outside inline code, or undefined. A run of n
      // backticks opens a code span closed by the next run of exactly n; a run that
      // is never closed is ordinary text. Without this, marked would cut a paragraph
      // at a "$$" inside a code span before it lexes the code.
      // marked asks this for every paragraph with the rest of the document, and only
      // uses the answer to cut that paragraph, which never reaches past an empty line:
      // looking no further keeps the answers that matter and the work linear.
      var displayMathStart = function (s) {
        var blank = s.indexOf("\n\n");
        var head = blank === -1 ? s : s.slice(0, blank);
        var from = 0;
        for (;;) {
          var dollars = head.indexOf("$$", from);
          if (dollars === -1) return undefined;
          var tick = head.indexOf("`", from);
          if (tick === -1 || tick > dollars) return dollars;
          var n = backtickRun(s, tick);
          var close = closingRun(s, tick + n, n);
          from = close === -1 ? tick + n : close + n;
        }
      };

      var blockMath = {
        name: "blockMath",
        level: "block",
        start: displayMathStart,
        tokenizer: function (s) {
          var m = /^\$\$([\s\S]+?)\$\$/.exec(s);
          if (m) return { type: "blockMath", raw: m[0], text: m[1].trim() };
        },
        renderer: function (t) {
          var h = kx(t.text, true);
          return h ? '<div class="math-display">' + h + "</div>" : "$$" + t.text + "$$";
        },
      };

      // Neither delimiter may touch whitespace and the closing one may not be followed
      // by a digit, so "$5 and $10" stays text. No lookbehind: older engines lack it.
      var inlineMath = {
        name: "inlineMath",
        level: "inline",
        // marked uses this only to cut a run of plain text, which ends at the first of
        // \ < ! [ ` * ~ _ after its opening backticks or tildes: looking no further
        // keeps the answers that matter and the work linear.
        start: function (s) {
          var opening = /^[`~]*/.exec(s)[0].length;
          var end = s.slice(opening).search(/[\\<!\[`*~_]/);
          var i = (end === -1 ? s : s.slice(0, opening + end)).indexOf("$");
          return i === -1 ? undefined : i;
        },
        tokenizer: function (s) {
          // GitHub's other inline form: a code span between two "$", $`...`$.
          var code = GITHUB && /^\$(`+)([^`][\s\S]*?)\1\$/.exec(s);
          if (code && code[2].trim()) return { type: "inlineMath", raw: code[0], text: code[2].trim() };
          var m = /^\$(?!\s)([^\$\n]*?[^\s\$])\$(?!\d)/.exec(s);
          if (m) return { type: "inlineMath", raw: m[0], text: m[1].trim() };
        },
        renderer: function (t) {
          var h = kx(t.text, false);
          return h ? h : "$" + t.text + "$";
        },
      };

      marked.use({ extensions: [blockMath, inlineMath] });
      if (GITHUB) mathFences = kx;
    }

    if (GITHUB) useGithubExtras(src);
    // GitHub's fenced display math, ```math; registered after the highlighter, so first.
    if (mathFences) {
      marked.use({
        renderer: {
          code: function (token) {
            var h = token.lang === "math" && mathFences(token.text, true);
            return h ? '<div class="math-display">' + h + "</div>\n" : false;
          },
        },
      });
    }

    marked.setOptions({ gfm: true, breaks: false });
    var html = top + marked.parse(src);
    return GITHUB && typeof markedGfmHeadingId !== "undefined" ? mendFragmentCase(keepPageIdsApart(html)) : html;
  } catch (e) {
    return null;
  }

  function escapeHTML(text) {
    return text.replace(/[&<>"]/g, function (c) {
      return { "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;" }[c];
    });
  }

  function codeBlock(text, language) {
    var code = escapeHTML(text.replace(/\r\n?/g, "\n"));
    return '<pre><code class="language-' + language + '">' + code + "\n</code></pre>\n";
  }

  // A YAML front matter as GitHub shows it: a table with the keys as its header row and the
  // values in one row beneath, a list or mapping as a table within its cell. One that does not
  // parse, holds a lone scalar, nests deeper than maxFrontMatterDepth or would make a table
  // longer than maxFrontMatterTable characters (aliases repeat a value without copying it, so
  // a few lines can stand for billions of cells) is shown as code instead.
  function yamlFrontMatter(text) {
    if (typeof jsyaml === "undefined") return codeBlock(text, "yaml");
    var parts = [];
    var length = 0;
    var put = function (part) {
      length += part.length;
      if (length > maxFrontMatterTable) throw new RangeError("front matter table too long");
      parts.push(part);
    };
    var cell = function (value, depth) {
      if (value !== null && typeof value === "object") table(value, depth + 1, "");
      else put(escapeHTML(value === null ? "" : String(value)));
    };
    var table = function (value, depth, attributes) {
      if (depth > maxFrontMatterDepth) throw new RangeError("front matter nested too deep");
      put("<table" + attributes + ">\n");
      if (value instanceof Map) {
        put("<thead>\n<tr>\n");
        value.forEach(function (v, key) {
          put("<th>");
          cell(key, depth);
          put("</th>\n");
        });
        put("</tr>\n</thead>\n");
      }
      put("<tbody>\n<tr>\n");
      value.forEach(function (v) {
        put("<td><div>");
        cell(v, depth);
        put("</div></td>\n");
      });
      put("</tr>\n</tbody>\n</table>");
    };
    try {
      var data = jsyaml.load(text, { schema: jsyaml.CORE_SCHEMA.withTags(jsyaml.realMapTag) });
      if (data === null || data === undefined) return "";
      if (typeof data !== "object") return codeBlock(text, "yaml");
      table(data, 0, ' data-table-type="yaml-metadata"');
      return parts.join("") + "\n";
    } catch (e) {
      return codeBlock(text, "yaml");
    }
  }

  // A heading whose slug is one of the page's own ids gets the first free "-N" suffix, as a
  // duplicate does, and the document's links to that fragment follow it: links written for
  // GitHub (whose heading ids never meet its page's) still reach the heading.
  function keepPageIdsApart(html) {
    var ids = {};
    html.replace(/ id="([^"]*)"/g, function (m, id) {
      ids[id] = true;
    });
    pageIds.forEach(function (reserved) {
      var heading = new RegExp('(<h[1-6] id=")' + reserved + '(">)');
      if (!heading.test(html)) return;
      var n = 1;
      while (ids[reserved + "-" + n]) n++;
      var renamed = reserved + "-" + n;
      ids[renamed] = true;
      html = html
        .replace(heading, "$1" + renamed + "$2")
        .split('href="#' + reserved + '"')
        .join('href="#' + renamed + '"');
    });
    return html;
  }

  // GitHub's page falls back to a case-insensitive match for a fragment with no exact
  // target; without a script that is done here: a link with no exact target but exactly
  // one target in another case is pointed at it.
  function mendFragmentCase(html) {
    var exact = {};
    var folded = {};
    html.replace(/ id="([^"]*)"/g, function (m, id) {
      exact[id] = true;
      var key = id.toLowerCase();
      folded[key] = folded.hasOwnProperty(key) && folded[key] !== id ? null : id;
    });
    return html.replace(/ href="#([^"]*)"/g, function (link, fragment) {
      var target;
      try {
        target = decodeURIComponent(fragment);
      } catch (e) {
        return link;
      }
      if (exact[target]) return link;
      var match = folded.hasOwnProperty(target.toLowerCase()) && folded[target.toLowerCase()];
      return match ? ' href="#' + match + '"' : link;
    });
  }

  // The GitHub extras whose libraries have been evaluated (each only where the text
  // holds what it acts on).
  function useGithubExtras(src) {
    if (typeof markedGfmHeadingId !== "undefined") {
      // Ids by GitHub's slug rules, and in each heading a link to itself to copy.
      var ids = markedGfmHeadingId.gfmHeadingId();
      var headingWithId = ids.renderer.heading;
      // GitHub slugs a heading's text with its emoji names as written: ":rocket: New" is "rocket-new".
      var withEmojiNames = function (tokens) {
        return tokens.map(function (t) {
          if (t.type === "emoji") return { type: "text", raw: t.raw, text: t.raw };
          return t.tokens ? Object.assign({}, t, { tokens: withEmojiNames(t.tokens) }) : t;
        });
      };
      marked.use({
        hooks: ids.hooks,
        renderer: {
          heading: function (token) {
            var named = Object.assign({}, token, { tokens: withEmojiNames(token.tokens) });
            var id = /^<h[1-6] id="([^"]*)">/.exec(headingWithId.call(this, named))[1];
            return (
              "<h" + token.depth + ' id="' + id + '"><a class="anchor" href="#' + id +
              '" aria-label="Link to this section"></a>' + this.parser.parseInline(token.tokens) +
              "</h" + token.depth + ">\n"
            );
          },
        },
      });
    }
    if (typeof markedAlert !== "undefined") {
      marked.use(markedAlert());
      // GitHub takes the marker in any case; marked-alert only in upper case. Registered
      // after it, this runs on each quote before it does.
      var marker = /^\[!(note|tip|important|warning|caution)\]/i;
      var upper = function (text) {
        return typeof text === "string" ? text.replace(marker, function (m) { return m.toUpperCase(); }) : text;
      };
      marked.use({
        walkTokens: function (token) {
          if (token.type !== "blockquote" || !marker.test(token.text)) return;
          token.text = upper(token.text);
          var paragraph = token.tokens && token.tokens[0];
          var first = paragraph && paragraph.tokens && paragraph.tokens[0];
          if (paragraph) paragraph.raw = upper(paragraph.raw);
          if (first) Object.assign(first, { raw: upper(first.raw), text: upper(first.text) });
        },
      });
    }
    if (typeof markedFootnote !== "undefined") {
      marked.use(markedFootnote(), {
        tokenizer: {
          // As on GitHub, a line that opens a definition ("[^a]: the note") ends a paragraph.
          paragraph: function (src) {
            var whole = this.rules.block.paragraph.exec(src);
            var definition = whole && /\n\[\^[^\]\s]+\]:/.exec(whole[0]);
            if (!definition) return false;
            return marked.Tokenizer.prototype.paragraph.call(this, src.slice(0, definition.index + 1));
          },
        },
      });
    }
    if (typeof markedHighlight !== "undefined") {
      marked.use(
        markedHighlight.markedHighlight({
          langPrefix: "hljs language-",
          highlight: function (code, language) {
            if (typeof hljs === "undefined" || !language || code.length > maxHighlightedFence) return code;
            if (!hljs.getLanguage(language)) return code;
            return hljs.highlight(code, { language: language, ignoreIllegals: true }).value;
          },
        })
      );
    }
    // Only the emoji whose names the text holds between colons: a pattern of all of
    // GitHub's names takes longer to compile than most documents take to render.
    var named = {};
    var names = /:([a-z0-9_+\-]+)(?=:)/gi;
    for (var match; typeof githubEmoji !== "undefined" && (match = names.exec(src)); ) {
      var name = match[1].toLowerCase();
      if (Object.prototype.hasOwnProperty.call(githubEmoji, name)) named[name] = githubEmoji[name];
    }
    if (typeof markedEmoji !== "undefined" && Object.keys(named).length > 0) {
      var emojiSpan = function (name, emoji) {
        return '<span class="emoji" role="img" aria-label="' + name + '">' + emoji + "</span>";
      };
      var open = [];  // the verbatim elements that the raw HTML so far has left open
      marked.use(
        markedEmoji.markedEmoji({
          emojis: named,
          renderer: function (token) {
            return emojiSpan(token.name, token.emoji);
          },
        }),
        {
          // GitHub replaces names in the text of raw HTML too, but not within code or math.
          walkTokens: function (token) {
            if (token.type === "html" && token.block) token.text = emojiInHTML(token.text, open, named, emojiSpan);
            else if (token.type === "html") openElements(open, token.text);
            else if (token.type === "emoji" && open.length) Object.assign(token, { type: "text", text: token.raw });
          },
        }
      );
    }
  }

  // Tracks in `open` the verbatim elements that `tag` opens or closes; returns the name it opens.
  function openElements(open, tag) {
    var m = /^<(\/?)([a-z][^\s\/>]*)/i.exec(tag);
    var name = m && m[2].toLowerCase();
    if (!name || !(verbatimElements.test(name) || rawTextElements.test(name))) return null;
    if (m[1]) {
      var at = open.lastIndexOf(name);
      if (at !== -1) open.splice(at, 1);
      return null;
    }
    open.push(name);
    return name;
  }

  // The raw HTML `html` with the emoji names in its text replaced: outside tags, comments and
  // the verbatim elements open, those before it (`open`) included.
  function emojiInHTML(html, open, named, emojiSpan) {
    var markup = /<!--[\s\S]*?(?:-->|$)|<[!?][^>]*>?|<\/?[a-z][^\s\/>]*(?:"[^"]*"|'[^']*'|[^"'>])*>?/gi;
    var out = "";
    var at = 0;
    for (var m; (m = markup.exec(html)); ) {
      out += open.length ? html.slice(at, m.index) : emojiInText(html.slice(at, m.index), named, emojiSpan);
      out += m[0];
      at = m.index + m[0].length;
      var opened = openElements(open, m[0]);
      if (opened && rawTextElements.test(opened)) {
        // Its text runs to its end tag, whatever it holds.
        var end = new RegExp("</" + opened + "(?=[\\s/>]|$)", "ig");
        end.lastIndex = at;
        var found = end.exec(html);
        markup.lastIndex = found ? found.index : html.length;
      }
    }
    return out + (open.length ? html.slice(at) : emojiInText(html.slice(at), named, emojiSpan));
  }

  function emojiInText(text, named, emojiSpan) {
    var names = /:([a-z0-9_+\-]+):/gi;
    var out = "";
    var at = 0;
    for (var m; (m = names.exec(text)); ) {
      var name = m[1].toLowerCase();
      if (!Object.prototype.hasOwnProperty.call(named, name)) {
        names.lastIndex--;  // its closing colon may open the next name
        continue;
      }
      out += text.slice(at, m.index) + emojiSpan(m[1], named[name]);
      at = names.lastIndex;
    }
    return out + text.slice(at);
  }
})();
