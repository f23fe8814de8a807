"""What the node-table generators share: the C++ spelling of a double, the
rules laid end to end with their offsets, and the writing of the header."""
import os


def cxx(value):
    """The shortest text that reads back as the double nearest `value`."""
    text = repr(float(value))
    return text if ("e" in text or "." in text) else text + ".0"


def write_rules(path, head, namespace, sizes, rule, offsets_comment):
    """Writes the header: `head` (comment, includes, the namespace's opening
    declarations), then the rules of `sizes` laid end to end in NODES, with
    RULE_OFFSETS saying where each starts, and the namespace's end."""
    offsets, nodes = [], []
    for n in sizes:
        offsets.append(len(nodes))
        nodes.extend(rule(n))
    lines = "\n".join("    {%s, %s}," % (cxx(x), cxx(w)) for x, w in nodes)
    text = head + """
// %s
inline constexpr std::array<std::size_t, %d> RULE_OFFSETS = {%s};

inline constexpr std::array<Node, %d> NODES = {{
%s
}};

}  // namespace %s
""" % (offsets_comment, len(sizes), ", ".join(map(str, offsets)), len(nodes), lines, namespace)
    with open(path, "w") as out:
        out.write(text)
    print("wrote %d nodes to %s" % (len(nodes), os.path.normpath(path)))
