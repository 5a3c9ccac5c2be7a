#!/usr/bin/env perl
# Finds the two ComPtr traps of this toolchain's wrl/client.h in C++ sources:
#   holder.Attach(raw)  adds a reference of its own, so the one the caller
#                       owned leaks; zelk::Adopt(holder, raw) takes it over.
#   &holder             releases what the ComPtr holds and hands out its slot,
#                       so a held interface silently goes away; GetAddressOf()
#                       (empty holder) or ReleaseAndGetAddressOf() (replace it)
#                       says which one is meant. other.As(&holder) is the one
#                       use of '&' left: it replaces the holder's interface by design.
# A name counts as a ComPtr where the file, or a project header it includes,
# declares it as one (variables, members, parameters, references).
#
#   perl comptr_traps.pl DIR_OR_FILE...    exit 0: clean, 1: traps found (listed)
use strict;
use warnings;
use File::Basename qw(dirname);

# Walk(DIR, CODE): every file under a folder, in name order.
my $walk = dirname(__FILE__) . '/tree_walk.pl';
do($walk =~ m{^/} ? $walk : "./$walk") or die "$walk: " . ($@ || $!) . "\n";

my @roots = @ARGV or die "usage: comptr_traps.pl DIR_OR_FILE...\n";
my @files;
for my $root (@roots) {
  if (-f $root) { push @files, $root; next; }
  Walk($root, sub { push @files, $_[0] if $_[0] =~ /\.(?:cpp|cc|h|hpp)$/ });
}
# Include folders: every scanned root and its parent (for "encoder/x.h" from src/).
my @includeDirs = map { -d $_ ? ($_, dirname($_)) : dirname($_) } @roots;

my %code;    # file -> source without comments and literals
my %global;  # file -> { names declared as ComPtr at namespace or class level, its own and its includes' }
my %local;   # file -> { name -> [[from, to], ...] } ComPtr locals and parameters with their scopes

# Where a declaration at $at is in effect: [from, to] in the text, 'global'
# (namespace or class level) or undef (a parameter of a declaration without a body).
sub ScopeOf {
  my ($text, $at, $stack, $close) = @_;
  return 'global' unless @$stack;
  my $open = $stack->[-1];
  if (substr($text, $open, 1) eq '(') {  # a parameter (or a for-range variable): the body after ')'
    my $after = $close->{$open} // return undef;
    return undef unless substr($text, $after) =~ /^[^;{]*\{/;
    my $body = $after + $+[0] - 1;
    return [$at, $close->{$body} // length $text];
  }
  my $head = substr($text, 0, $open);
  $head =~ s/^.*[;{}]//s;
  return 'global' if $head =~ /\b(?:class|struct|union|namespace)\b|\bextern\s*$|^\s*$/;
  return [$at, $close->{$open} // length $text];
}

sub Load {
  my ($file) = @_;
  return if exists $code{$file};
  open(my $in, '<', $file) or die "cannot read $file: $!\n";
  local $/;
  my $text = <$in>;
  close $in;
  my @includes = $text =~ /^\s*#\s*include\s*["<]([^">]+)[">]/mg;
  # Comments, string and character literals become blanks (line numbers stay).
  $text =~ s{(//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*')}{
    my $s = $1; $s =~ s/[^\n]/ /g; $s }gse;
  $code{$file} = $text;

  my @declarations;  # [position, name]
  while ($text =~ /\bComPtr\s*(<(?:[^<>]++|(?1))*>)\s*(?:const\s*)?&?\s*(?:const\s+)?([A-Za-z_]\w*)/g) {
    push @declarations, [$-[0], $2];
    # Further declarators of the same declaration: ComPtr<IPin> in, out;
    while ($text =~ /\G\s*(?:=[^,;(){}]*|\{[^{}]*\}|\([^()]*\))?\s*,\s*([A-Za-z_]\w*)(?=\s*[;,={(\[])/gc) {
      push @declarations, [$-[1], $1];
    }
  }
  # One pass over the brackets: what is open at each declaration, where each bracket closes.
  my (@stack, %close, @open);
  my $next = 0;
  while ($text =~ /[{}()]/g) {
    my $at = $-[0];
    while ($next < @declarations && $declarations[$next][0] < $at) { $open[$next++] = [@stack]; }
    if ($& eq '{' || $& eq '(') { push @stack, $at; }
    else { my $from = pop @stack; $close{$from} = $at if defined $from; }
  }
  $open[$next++] = [@stack] while $next < @declarations;

  $global{$file} = {};
  $local{$file} = {};
  for my $i (0 .. $#declarations) {
    my ($at, $name) = @{$declarations[$i]};
    my $scope = ScopeOf($text, $at, $open[$i], \%close) // next;
    if ($scope eq 'global') { $global{$file}{$name} = 1; }
    else { push @{$local{$file}{$name}}, $scope; }
  }
  for my $include (@includes) {
    for my $dir (dirname($file), @includeDirs) {
      my $path = "$dir/$include";
      if (-f $path) {
        Load($path);
        $global{$file}{$_} = 1 for keys %{$global{$path}};
        last;
      }
    }
  }
}

# Whether `name` at `at` in the file is a ComPtr.
sub IsComPtr {
  my ($file, $name, $at) = @_;
  return 1 if $global{$file}{$name};
  for my $scope (@{$local{$file}{$name} // []}) {
    return 1 if $scope->[0] <= $at && $at <= $scope->[1];
  }
  return 0;
}

my $found = 0;
sub Report {
  my ($file, $text, $offset, $message) = @_;
  my $line = 1 + (() = substr($text, 0, $offset) =~ /\n/g);
  print "$file:$line: $message\n";
  ++$found;
}

for my $file (sort @files) {
  Load($file);
  my $text = $code{$file};
  while ($text =~ /\b([A-Za-z_]\w*)\s*\.\s*Attach\s*\(/g) {
    next unless IsComPtr($file, $1, $-[0]);
    Report($file, $text, $-[0], "ComPtr '$1': Attach adds a reference of its own, so the reference being "
           . "handed over leaks; take it over with zelk::Adopt($1, raw)");
  }
  # A unary '&' (after an opening bracket, a separator, an assignment or
  # return) on a name, possibly reached through members: &x, &obj.x, &p->x.
  while ($text =~ /(?:[(\[{,=!?:;]|\breturn)\s*&(?!&)\s*((?:[A-Za-z_]\w*\s*(?:\.|->)\s*)*)([A-Za-z_]\w*)(?!\s*(?:[.(\[]|->|::))/g) {
    next unless IsComPtr($file, $2, $-[0]);
    my $name = $1 . $2;
    $name =~ s/\s+//g;
    my $at = $-[0] + index(substr($text, $-[0]), '&');
    # other.As(&holder) replaces what the holder had, by design.
    next if substr($text, $at > 40 ? $at - 40 : 0, $at > 40 ? 40 : $at) =~ /\.\s*As\s*\(\s*$/;
    Report($file, $text, $at,
           "ComPtr '&$name': '&' releases what the ComPtr holds before handing out its slot; write "
           . "$name.GetAddressOf() for an empty one or $name.ReleaseAndGetAddressOf() to replace its contents");
  }
}
if ($found) {
  print "$found ComPtr trap(s): each kind has leaked or lost a reference in this project before\n";
  exit 1;
}
exit 0;
