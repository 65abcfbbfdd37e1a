#!/usr/bin/perl
# `make test` must work on a fresh Debian machine, so every program that the
# tests, the scripts, the benchmarks, CI and the Makefile start has to come from
# a Debian package that the Makefile's PACKAGES list names (or one that every
# Debian system has: priority required or essential).
#
#   programs_check.pl [--expect NAME]... [--exclude DIR]... [--within DIR]... SOURCE_ROOT
#
# --exclude leaves out the sources under a folder, --within scans only those
# (the desktop checks, whose packages only their own target installs).
#
# Programs are found by reading the sources: command words of shell scripts and
# Makefile recipes, QProcess program names and the literal program arguments of
# helpers that take one, find_program() in CMake files, script interpreters, and
# any of a list of desktop tools named in a string or a shell word. Each is
# resolved with the PATH and dpkg. A program that is missing, comes from no
# package or from an unlisted one fails the check, and so does an --expect name
# that the scan did not find (a scan that finds nothing must not pass).
use strict;
use warnings;
use Cwd qw(abs_path);
use File::Find;
use Getopt::Long;

my (@expected, @excluded, @within);
GetOptions('expect=s' => \@expected, 'exclude=s' => \@excluded, 'within=s' => \@within) && @ARGV == 1
    or die "usage: $0 [--expect NAME]... [--exclude DIR]... [--within DIR]... SOURCE_ROOT\n";
my $root = abs_path($ARGV[0]) // die "no such folder: $ARGV[0]\n";

# Found by name wherever they appear as a string or a shell word: these tools
# are often started through a variable or a list of arguments.
my @KNOWN_TOOLS = qw(Xvfb Xwayland xvfb-run xdotool xwininfo xprop xdpyinfo xauth xwd xrandr
    trayer openbox weston dbus-daemon dbus-run-session dbus-launch dbus-send gdbus
    lintian appstreamcli desktop-file-validate dpkg-deb convert import compare identify
    setpriv clang-format);
# The README's fresh machine: a minimal Debian system with git and make.
my @GIVEN_PACKAGES = qw(git);
my @SCANNED_DIRS   = qw(tests scripts bench fuzz .ci);

my (%builtin, %known_tool);
@builtin{split ' ', `bash -c 'compgen -b; compgen -k'`} = ();
die "cannot list the shell's builtins\n" unless exists $builtin{'cd'};
@known_tool{@KNOWN_TOOLS} = ();

my %seen_at;    # program => "file:line" of its first use
sub found {
    my ($name, $where) = @_;
    $seen_at{$name} //= $where if $name =~ /^[A-Za-z0-9_][\w.+-]*$/;
}

# ---- Shell ----------------------------------------------------------------

my %SUBSHELL_WRAPPERS = map { $_ => 1 } qw(sh bash dash);
# Commands that run the command after their options; time and exec are the shell's.
my %WRAPPERS = map { $_ => 1 } qw(sudo env exec command nohup time nice xargs setpriv timeout
    stdbuf fakeroot xvfb-run dbus-run-session);

# Splits shell text into words and operators; the commands inside $( ), ` ` and
# <( ) are scanned as shell text of their own.
sub shell_tokens {
    my ($text, $line, $nested) = @_;
    my @tokens;
    my $pos = 0;
    my @heredocs;
    my $len = length $text;
    my $balanced = sub {    # from an opening parenthesis at $pos to its partner
        my $depth = 0;
        my $start = $pos;
        while ($pos < $len) {
            my $c = substr($text, $pos, 1);
            if ($c eq "'" || $c eq '"') {    # quoted parentheses do not count
                $pos++;
                while ($pos < $len && substr($text, $pos, 1) ne $c) {
                    $pos += $c eq '"' && substr($text, $pos, 1) eq '\\' ? 2 : 1;
                }
                $pos++;
                next;
            }
            if ($c eq '\\') { $pos += 2; next }
            $depth++ if $c eq '(';
            $depth-- if $c eq ')';
            $pos++;
            return substr($text, $start + 1, $pos - $start - 2) if $depth == 0;
        }
        return substr($text, $start + 1);
    };
    my $nested_scan = sub { push @$nested, [$_[0], $line] };
    while ($pos < $len) {
        my $c = substr($text, $pos, 1);
        if ($c eq "\\" && substr($text, $pos + 1, 1) eq "\n") { $pos += 2; $line++; next }
        if ($c eq ' ' || $c eq "\t") { $pos++; next }
        if ($c eq "\n") {
            push @tokens, { op => "\n", line => $line };
            $pos++;
            $line++;
            for my $delimiter (@heredocs) {    # skip the here-document bodies
                while ($pos < $len) {
                    my $end = index($text, "\n", $pos);
                    $end = $len if $end < 0;
                    my $body = substr($text, $pos, $end - $pos);
                    $pos = $end + 1;
                    $line++;
                    last if $body =~ /^\t*\Q$delimiter\E$/;
                }
            }
            @heredocs = ();
            next;
        }
        if ($c eq '#') { my $end = index($text, "\n", $pos); $pos = $end < 0 ? $len : $end; next }
        if (substr($text, $pos, 2) eq '((') { $balanced->(); next }    # arithmetic
        if (substr($text, $pos) =~ /^(\d*(?:<<-?|<<<|<>|>>|>&|<&|>\||<(?!\()|>(?!\()))/) {
            my $redirection = $1;
            $pos += length $redirection;
            if ($redirection =~ /<<-?$/ && substr($text, $pos) =~ /^\s*(['"]?)(\w+)\1/) {
                push @heredocs, $2;
                $pos += length $&;
                next;
            }
            push @tokens, { op => 'redirect', line => $line };
            next;
        }
        if (substr($text, $pos) =~ /^(&&|\|\||;;|\|&|[;|&()])/) {
            push @tokens, { op => $1, line => $line };
            $pos += length $1;
            next;
        }
        # A word: quotes, escapes and expansions up to an unquoted blank or operator.
        my ($raw, $plain, $expands) = ('', '', 0);
        while ($pos < $len) {
            $c = substr($text, $pos, 1);
            last if $c =~ /[\s;&|<>()]/ && !($c =~ /[<>]/ && substr($text, $pos + 1, 1) eq '(' && $raw eq '');
            if ($c eq "'") {
                my $end = index($text, "'", $pos + 1);
                $end = $len - 1 if $end < 0;
                $plain .= substr($text, $pos + 1, $end - $pos - 1);
                $raw .= substr($text, $pos, $end - $pos + 1);
                $line += substr($text, $pos, $end - $pos) =~ tr/\n//;
                $pos = $end + 1;
            } elsif ($c eq '"') {
                $raw .= '"';
                $pos++;
                while ($pos < $len && substr($text, $pos, 1) ne '"') {
                    my $d = substr($text, $pos, 1);
                    if ($d eq '\\') { $plain .= substr($text, $pos + 1, 1); $pos += 2; next }
                    if ($d eq '$' || $d eq '`') {
                        $expands = 1;
                        expansion(\$pos, $text, $balanced, $nested_scan);
                        next;
                    }
                    $line++ if $d eq "\n";
                    $plain .= $d;
                    $pos++;
                }
                $pos++;
                $raw .= '"';
            } elsif ($c eq '\\') {
                $plain .= substr($text, $pos + 1, 1);
                $pos += 2;
            } elsif ($c eq '$' || $c eq '`' || ($c =~ /[<>]/ && $raw eq '')) {
                $expands = 1;
                $raw .= '$';
                expansion(\$pos, $text, $balanced, $nested_scan);
            } elsif ($c eq '=' && $raw =~ /^\w+\+?$/ && substr($text, $pos + 1, 1) eq '(') {
                $pos++;    # an array assignment: its elements are words, not commands
                my $elements = $balanced->();
                push @tokens, { word => $_, plain => $_, line => $line, element => 1 } for split ' ', $elements;
                ($raw, $plain, $expands) = ("$raw=()", "$raw=()", 0);
                last;
            } else {
                $raw .= $c;
                $plain .= $c;
                $pos++;
            }
        }
        push @tokens, { word => $raw, plain => $expands ? undef : $plain, line => $line,
                        expansion_only => $expands && $plain eq '' };
    }
    return @tokens;
}

# Steps over one $..., ${...}, $(...), $((...)), `...` or <(...) at $$pos.
sub expansion {
    my ($pos, $text, $balanced, $nested_scan) = @_;
    my $rest = substr($text, $$pos);
    if ($rest =~ /^\$\(\(/) { $$pos += 1; $balanced->(); return }
    if ($rest =~ /^(?:\$|[<>])\(/) { $$pos += 1; $nested_scan->($balanced->()); return }
    if ($rest =~ /^`((?:\\.|[^`])*)`?/s) { $$pos += length $&; $nested_scan->($1); return }
    if ($rest =~ /^\$\{/) {
        my $end = index($text, '}', $$pos);
        $$pos = $end < 0 ? length $text : $end + 1;
        return;
    }
    $$pos += length($1) if $rest =~ /^(\$(?:\w+|[@*#?\$!0-9-])?)/;
}

# The programs a piece of shell text starts, and the functions it defines.
sub scan_shell {
    my ($text, $file, $line, $functions) = @_;
    my @nested;
    my @tokens = shell_tokens($text, $line, \@nested);
    my @commands;
    my $expect_command = 1;
    my $skip_until = '';    # a for header, [[ ]], a function's ( ), a case pattern
    my $in_case = 0;
    my $wrapped = '';       # the wrapper whose options are being skipped
    for my $i (0 .. $#tokens) {
        my $t = $tokens[$i];
        my $word = $t->{plain} // '';
        if (defined $t->{word} && exists $known_tool{$word}) { found($word, "$file:$t->{line}") }
        next if $t->{element};
        if ($skip_until) {
            if ($in_case && $word eq 'esac') {
                ($in_case, $skip_until, $expect_command) = ($in_case - 1, '', 0);
                next;
            }
            next unless (defined $t->{op} && $t->{op} eq $skip_until) || $word eq $skip_until;
            if ($skip_until eq 'in') { $skip_until = ')'; next }    # on to the first pattern
            $expect_command = $skip_until ne ']]';
            $skip_until = '';
            next;
        }
        if (defined $t->{op}) {
            if ($in_case && $t->{op} eq ';;') { $skip_until = ')'; next }
            if ($t->{op} eq 'redirect') { $tokens[$i + 1]{redirect_target} = 1 if $i < $#tokens; next }
            $expect_command = $t->{op} ne ')';
            $wrapped = '';
            next;
        }
        next if $t->{redirect_target} || !$expect_command;
        if ($word =~ /^(?:if|then|else|elif|do|while|until|!|\{|time)$/) { next }
        if ($word =~ /^(?:fi|done|esac|\})$/) {
            $in_case-- if $word eq 'esac' && $in_case;
            $expect_command = 0;
            next;
        }
        if ($word eq '[[') { $skip_until = ']]'; next }
        if ($word =~ /^(?:for|select)$/) { $skip_until = 'do'; next }
        if ($word eq 'case') { ($in_case, $skip_until) = ($in_case + 1, 'in'); next }
        if ($word eq 'function') { $functions->{$tokens[$i + 1]{plain} // ''} = 1; $skip_until = '{'; next }
        if ($i < $#tokens - 1 && ($tokens[$i + 1]{op} // '') eq '(' && ($tokens[$i + 2]{op} // '') eq ')') {
            $functions->{$word} = 1;
            $skip_until = ')';
            next;
        }
        next if $t->{expansion_only};
        next if $t->{word} =~ /^\w+\+?=/;    # an assignment before the command
        if ($wrapped) {
            next if $word =~ /^-/ && $word ne '--';
            next if $wrapped eq 'timeout' && $word =~ /^[\d.]+[smhd]?$/;
            if ($word eq '--') { next }
            if ($wrapped eq 'command-v') { push @commands, [$word, $t->{line}]; next }
        }
        $expect_command = 0;
        $wrapped = '';
        next if !defined $t->{plain} || $word eq '' || $word =~ m{/};
        push @commands, [$word, $t->{line}];
        if ($word eq 'trap' && defined $tokens[$i + 1]{plain}) {
            push @nested, [$tokens[$i + 1]{plain}, $t->{line}];
        } elsif ($SUBSHELL_WRAPPERS{$word} && ($tokens[$i + 1]{plain} // '') eq '-c') {
            push @nested, [$tokens[$i + 2]{plain} // '', $t->{line}];
        } elsif ($word eq 'command' && ($tokens[$i + 1]{plain} // '') =~ /^-[vV]$/) {
            ($expect_command, $wrapped) = (1, 'command-v');
        } elsif ($WRAPPERS{$word}) {
            ($expect_command, $wrapped) = (1, $word);
        }
    }
    push @commands, scan_shell($_->[0], $file, $_->[1], $functions) for @nested;
    return @commands;
}

sub scan_shell_file {
    my ($text, $file, $line) = @_;
    my %functions;
    my @commands = scan_shell($text, $file, $line // 1, \%functions);
    for (@commands) {
        my ($name, $line) = @$_;
        found($name, "$file:$line") unless exists $builtin{$name} || $functions{$name};
    }
}

# ---- Makefile -------------------------------------------------------------

# Make's own references, $(NAME) and ${NAME}, become shell variables; $(shell ...) is scanned.
sub make_to_shell {
    my ($text, $file, $line) = @_;
    my $out = '';
    while ($text =~ /\G(.*?)(\$\$|\$[({]|\z)/gcs) {
        $out .= $1;
        last if $2 eq '';
        if ($2 eq '$$') { $out .= '$'; next }
        my $depth = 1;
        my $start = pos $text;
        while ($depth && $text =~ /\G[^(){}]*([(){}])/gc) { $depth += $1 =~ /[({]/ ? 1 : -1 }
        my $inner = substr($text, $start, pos($text) - $start - 1);
        if ($inner =~ /^shell\s+(.*)/s) { scan_shell_file(make_to_shell($1, $file, $line), $file, $line) }
        else { make_to_shell($inner, $file, $line) }    # for a $(shell ...) inside
        $out .= '$MAKE_VARIABLE';
    }
    return $out;
}

sub scan_makefile {
    my ($text, $file) = @_;
    my @lines = split /\n/, $text, -1;
    for (my $i = 0; $i < @lines; $i++) {
        my ($first, $logical) = ($i + 1, $lines[$i]);
        $logical .= "\n" . $lines[++$i] while $logical =~ /\\$/ && $i < $#lines;
        if ($logical =~ s/^\t[@+\-]*//) {
            my %functions;
            for (scan_shell(make_to_shell($logical, $file, $first), $file, $first, \%functions)) {
                found($_->[0], "$file:$_->[1]") unless exists $builtin{$_->[0]};
            }
        } else {
            make_to_shell($logical, $file, $first);
        }
    }
}

# The words of a Makefile variable, with $(OTHER) references expanded.
sub makefile_variable {
    my ($text, $name) = @_;
    $text =~ /^\Q$name\E\s*:?=((?:.*\\\n)*.*)/m or return;
    (my $list = $1) =~ s/\\\n/ /g;
    return map { /^\$\((\w+)\)$/ ? makefile_variable($text, $1) : $_ } split ' ', $list;
}

sub makefile_packages {
    my ($text) = @_;
    my @packages = makefile_variable($text, 'PACKAGES');
    die "no PACKAGES list in the Makefile\n" unless @packages;
    return @packages;
}

# ---- C++ and CMake --------------------------------------------------------

my $STRING = qr/(?:QStringLiteral\(|QLatin1String\(|QString\(|u8?)?"([^"\\]*(?:\\.[^"\\]*)*)"/;

# Comments out, strings kept; raw strings become ordinary ones.
sub cpp_code {
    my ($text) = @_;
    $text =~ s{R"([^(]*)\((.*?)\)\1"|("(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\])+')|//[^\n]*|/\*(.*?)\*/}{
        defined $2   ? '"' . ($2 =~ s/["\\]/ /gr) . '"'
        : defined $3 ? $3
        :              ($4 // '') =~ s/[^\n]//gr}gse;
    return $text;
}

# The top-level arguments of the call whose opening parenthesis ends at pos($$text).
sub call_arguments {
    my ($text, $from) = @_;
    my ($depth, $argument, @arguments) = (1, '');
    pos($text) = $from;
    while ($depth && $text =~ /\G("(?:\\.|[^"\\])*"|[^"(){}\[\],]+|.)/gcs) {
        my $piece = $1;
        $depth++ if $piece =~ /^[({\[]$/;
        $depth-- if $piece =~ /^[)}\]]$/;
        if ($depth == 1 && $piece eq ',') { push @arguments, $argument; $argument = ''; next }
        $argument .= $piece if $depth > 0;
    }
    return (@arguments, $argument);
}

sub line_of { my ($text, $offset) = @_; return 1 + (substr($text, 0, $offset) =~ tr/\n//) }

# Helpers that start a program they are given: which argument is the program.
sub program_parameters {
    my ($code, $helpers) = @_;
    my $parameter = qr/\bQString\s*&?\s*(?:program|tool|executable)\b/;
    while ($code =~ /\b(\w+)\s*\(([^()]*$parameter[^()]*)\)\s*(?:const\s*)?\{/g) {
        my @parameters = split /,/, $2;
        my ($index) = grep { $parameters[$_] =~ /\b(?:program|tool|executable)\s*$/ } 0 .. $#parameters;
        $helpers->{$1} = $index if defined $index;
    }
}

sub scan_cpp {
    my ($code, $file, $helpers) = @_;
    my $line = sub { "$file:" . line_of($code, $_[0]) };
    my $qprocess = qr/(?:\.|->)(?:start|startDetached|setProgram)|QProcess::(?:execute|startDetached)/;
    while ($code =~ /(?:$qprocess)\s*\(\s*$STRING/g) {
        found($1, $line->($-[0]));
    }
    while ($code =~ /\b(?:findExecutable|execlp|execvp|posix_spawnp)\s*\(\s*(?:[^,()]+,\s*)?$STRING/g) {
        found($1, $line->($-[0]));
    }
    while ($code =~ /\b(\w+)\s*\(/g) {
        my ($name, $at, $end) = ($1, $-[0], $+[0]);
        next unless defined $helpers->{$name};
        my @arguments = call_arguments($code, $end);
        pos($code) = $end;
        my $program = $arguments[$helpers->{$name}] // '';
        found($1, $line->($at)) if $program =~ /^\s*$STRING\s*$/;
    }
    while ($code =~ /$STRING/g) { found($1, $line->($-[0])) if exists $known_tool{$1} }
}

sub scan_cmake {
    my ($text, $file) = @_;
    while ($text =~ /\bfind_program\s*\(\s*\w+\s+(?:NAMES\s+)?([A-Za-z][\w.+-]*)/gi) {
        found($1, "$file:" . line_of($text, $-[0]));
    }
}

# ---- The scan -------------------------------------------------------------

sub read_file { my ($path) = @_; open my $in, '<', $path or die "$path: $!\n"; local $/; return <$in> }

sub interpreter {
    my ($text, $file) = @_;
    return unless $text =~ m{^#!\s*(\S+)(?:\s+(\S+))?};
    my ($program, $argument) = ($1, $2);
    my $name = $program =~ m{/env$} && defined $argument ? $argument : $program =~ s{.*/}{}r;
    found($name, "$file:1");
    return $name;
}

my (@cpp, @shell, @cmake);
find({ no_chdir => 1, wanted => sub {
    if (-d && m{/(?:corpus|build[^/]*|\.git)$}) { $File::Find::prune = 1; return }
    return unless -f;
    my $file = substr($_, length($root) + 1);
    return if grep { $file =~ m{^\Q$_\E/} } @excluded;
    return if @within && !grep { $file =~ m{^\Q$_\E/} } @within;
    if ($file =~ /(?:^|\/)CMakeLists\.txt$|\.cmake$/) { push @cmake, $file }
    elsif (grep { $file =~ m{^\Q$_\E/} } @SCANNED_DIRS) {
        if ($file =~ /\.(?:cpp|cc|h|hpp)$/) { push @cpp, $file }
        else { push @shell, $file }
    }
} }, $root);

scan_cmake(read_file("$root/$_"), $_) for @cmake;
scan_makefile(read_file("$root/Makefile"), 'Makefile') unless @within;
for my $file (sort @shell) {
    my $text = read_file("$root/$file");
    next if $text =~ /\0/;
    my $language = interpreter($text, $file) // ($file =~ /\.sh$/ ? 'sh' : '');
    scan_shell_file($text, $file) if $language =~ /^(?:sh|bash|dash)$/;
}
my (%helpers, %code);
for my $file (@cpp) {
    $code{$file} = cpp_code(read_file("$root/$file"));
    program_parameters($code{$file}, \%helpers);
}
scan_cpp($code{$_}, $_, \%helpers) for sort @cpp;

# ---- Resolving the programs to packages -------------------------------------

my @programs = sort keys %seen_at;
my %paths;    # program => every match on the PATH, in order
for my $program (@programs) {
    $paths{$program} = [grep { length } split /\n/, `bash -c 'type -aP -- "\$1"' _ '$program'`];
}
# dpkg records some files under /bin and /lib although merged-/usr systems reach them through /usr.
sub spellings {
    my ($path) = @_;
    my @all = ($path, abs_path($path) // $path);
    push @all, map { m{^/usr(/(?:s?bin|lib\w*)/.*)} ? $1 : m{^(/(?:s?bin|lib\w*)/.*)} ? "/usr$1" : () } @all;
    my %unique;
    return grep { !$unique{$_}++ } @all;
}
my %owners;
my @queries = map { spellings($_) } map { @$_ } values %paths;
for (@queries ? `dpkg-query -S @queries 2>/dev/null` : ()) {
    $owners{$2} = [map { s/:.*//r } split /,\s*/, $1] if !/^diversion / && /^(.*?): (\/.*)$/;
}
sub owners_of {
    my ($path) = @_;
    my %unique;
    return grep { !$unique{$_}++ } map { @{ $owners{$_} // [] } } spellings($path);
}

my $makefile = read_file("$root/Makefile");
my %listed = map { $_ => 1 } makefile_packages($makefile), @GIVEN_PACKAGES;
# What a listed package depends on comes with it: imagemagick brings each
# release's own imagemagick-N.q16, so the list need not name it.
my @listed_names = sort keys %listed;
for (`dpkg-query -W -f='\${Depends}, \${Pre-Depends}\n' @listed_names 2>/dev/null`) {
    for my $dependency (split /\s*[,|]\s*/) {
        $listed{$1} = 1 if $dependency =~ /^([a-z0-9][a-z0-9+.-]*)/;
    }
}
my %basic;    # present on every Debian system
my @all_owners = do { my %u; grep { !$u{$_}++ } map { owners_of($_) } map { @$_ } values %paths };
my $fields = q('${Package} ${Priority} ${Essential}\n');
for (@all_owners ? `dpkg-query -W -f=$fields @all_owners 2>/dev/null` : ()) {
    $basic{$1} = 1 if /^(\S+) (\S*) ?(\S*)$/ && ($2 eq 'required' || $3 eq 'yes');
}

my @problems;
printf "%-24s %-22s %s\n", 'program', 'package', 'first run at';
for my $program (@programs) {
    my ($path) = grep { owners_of($_) } @{ $paths{$program} };
    my @packages = $path ? owners_of($path) : ();
    my $ok = grep { $listed{$_} || $basic{$_} } @packages;
    printf "%-24s %-22s %s\n", $program, join(',', @packages) || '-', $seen_at{$program};
    if (!@{ $paths{$program} }) {
        push @problems, "$program ($seen_at{$program}) is not installed on this machine";
    } elsif (!$path) {
        push @problems, "$program ($seen_at{$program}) comes from no Debian package: @{ $paths{$program} }";
    } elsif (!$ok) {
        push @problems, "$program ($seen_at{$program}) comes from @packages, "
            . "which the Makefile's PACKAGES do not install";
    }
}
push @problems, "the scan did not find $_" for grep { !exists $seen_at{$_} } @expected;
push @problems, "the Makefile's PACKAGES list looks empty" if keys(%listed) < 2;

# Building and the demo install no test laboratory.
my %build_only = map { $_ => 1 } makefile_variable($makefile, 'BUILD_PACKAGES');
for my $tool (qw(libgtest-dev libgmock-dev xvfb xdotool trayer openbox weston lintian clang
    imagemagick appstream)) {
    push @problems, "BUILD_PACKAGES names the test tool $tool" if $build_only{$tool};
}

print "\n", scalar(@programs), " programs, ", scalar(@problems), " problems\n";
print "FAIL: $_\n" for @problems;
exit(@problems ? 1 : 0);
