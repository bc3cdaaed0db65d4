// The INF texts that the tests share, read from tests/fixtures/: the template
// lines as Tamrix must write them (template_lines.txt, typed there once by
// hand) and whole INF files that name groups of them by placeholder lines.
// tests/fixtures/inf_text.py reads the same files for the Python tests; its
// opening comment describes the placeholders.
//
// Texts are LF texts, as the program holds them; dos() gives the bytes on
// disk.  No GoogleTest here: the merge properties and the fuzz target use it.
#ifndef TAMRIX_TESTS_FIXTURE_TEXT_H
#define TAMRIX_TESTS_FIXTURE_TEXT_H

#include <initializer_list>
#include <string>
#include <vector>

namespace fx {

// The group names, in the order of template_lines.txt.
const std::vector<std::string>& group_names();
// The lines of a group, without the marker or a line end.
const std::vector<std::string>& group_lines(const std::string& group);

// Lines of a group (numbered from 1 as in the tables; none given: all), each
// with ";Tamrix" and LF after it, as Tamrix adds them.
std::string marked(const std::string& group, std::initializer_list<int> only = {});
// The same lines without the marker: as a user might have typed them.
std::string plain(const std::string& group, std::initializer_list<int> only = {});

// `text` with its placeholder lines replaced by the lines they name.
std::string expand(const std::string& text);
// Every LF becomes CR LF, as the program writes a text.
std::string dos(const std::string& text);
// tests/fixtures/`name`, expanded, as the bytes on disk.
std::string fixture(const std::string& name);

// Bytes as C-like text for messages ("\r\n", "\x1a", "\x00").  With
// `as_lines`, each "\n" is followed by a real line break, and backslashes
// and quotes stand as they are, so that whole files read as lines.
std::string escaped(const std::string& bytes, bool as_lines = false);

}  // namespace fx

#endif
