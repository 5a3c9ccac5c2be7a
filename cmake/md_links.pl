#!/usr/bin/env perl
# Finds relative links in Markdown files that point nowhere: [text](path),
# [text](path#anchor), [text](#anchor), ![image](path) and reference
# definitions "[name]: path". A path must name a file or folder, taken from the
# linking file's folder (or, with a leading '/', from the scanned root); an
# anchor in a Markdown file must be one of its headings, slugged as the web
# view of the repository does (lower case, punctuation but '-' and '_' dropped,
# spaces to '-', a repeated heading gets -1, -2, ...), or an explicit id or
# name attribute. Links with a scheme (https:, mailto:) are not checked, nor
# anything inside code spans or fenced code blocks.
#
#   perl md_links.pl DIR_OR_FILE...    exit 0: every link resolves, 1: broken links (listed)
use strict;
use warnings;
use File::Basename qw(dirname);

# Walk(DIR, CODE): every file under a folder, in name order.
my $walk = dirname(__FILE__) . '/tree_walk.pl';
do($walk =~ m{^/} ? $walk : "./$walk") or die "$walk: " . ($@ || $!) . "\n";

my @roots = @ARGV or die "usage: md_links.pl DIR_OR_FILE...\n";
my @files;
my %rootOf;
for my $root (@roots) {
  if (-f $root) { push @files, $root; $rootOf{$root} = dirname($root); next; }
  Walk($root, sub { if ($_[0] =~ /\.md$/i) { push @files, $_[0]; $rootOf{$_[0]} = $root; } });
}

# The Markdown text of a file without fenced code blocks and code spans; each
# line keeps its place, so line numbers stay right.
sub ProseLines {
  my ($path) = @_;
  open(my $in, '<', $path) or return ();
  my @lines;
  my $fence;
  while (my $line = <$in>) {
    utf8::decode($line);   # UTF-8 text; a line that is not stays bytes
    chomp $line;
    if (defined $fence) {
      $fence = undef if $line =~ /^\s{0,3}(\Q$fence\E+)\s*$/;
      push @lines, '';
      next;
    }
    if ($line =~ /^\s{0,3}(`{3,}|~{3,})/) {
      $fence = substr($1, 0, 3);
      push @lines, '';
      next;
    }
    push @lines, $line;
  }
  close $in;
  # Code spans may not cross lines here; that is enough for link targets.
  s/(`+)(?:(?!\1).)+?\1//g for @lines;
  return @lines;
}

# The anchors a Markdown file offers.
my %anchorCache;
sub Anchors {
  my ($path) = @_;
  return $anchorCache{$path} if $anchorCache{$path};
  my (%anchors, %seen);
  open(my $in, '<', $path) or return $anchorCache{$path} = {};
  my @raw = <$in>;
  close $in;
  utf8::decode($_) for @raw;
  chomp @raw;
  my $fence;
  my @headings;
  for my $i (0 .. $#raw) {
    my $line = $raw[$i];
    if (defined $fence) { $fence = undef if $line =~ /^\s{0,3}(\Q$fence\E+)\s*$/; next; }
    if ($line =~ /^\s{0,3}(`{3,}|~{3,})/) { $fence = substr($1, 0, 3); next; }
    $anchors{lc $2} = 1 while $line =~ /\b(id|name)\s*=\s*"([^"]+)"/g;
    if ($line =~ /^\s{0,3}#{1,6}\s+(.*?)\s*#*\s*$/) {
      push @headings, $1;
    } elsif ($i < $#raw && $line =~ /\S/ && $raw[$i + 1] =~ /^\s{0,3}(?:=+|-+)\s*$/ && $line !~ /^\s*[-*|>]/) {
      push @headings, $line;
    }
  }
  for my $text (@headings) {
    $text =~ s/!?\[([^\]]*)\]\([^)]*\)/$1/g;  # a link's text only
    $text =~ s/<[^>]+>//g;                     # inline HTML tags
    my $slug = lc $text;
    $slug =~ s/[^\w\- ]//g;
    $slug =~ s/ /-/g;
    my $unique = $seen{$slug}++ ? "$slug-" . ($seen{$slug} - 1) : $slug;
    $anchors{$unique} = 1;
  }
  return $anchorCache{$path} = \%anchors;
}

sub Decode { my ($text) = @_; $text =~ s/%([0-9A-Fa-f]{2})/chr(hex($1))/ge; return $text; }

my @broken;
for my $file (sort @files) {
  my @lines = ProseLines($file);
  for my $n (0 .. $#lines) {
    my $line = $lines[$n];
    my @targets;
    while ($line =~ /\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\)/g) { push @targets, $1; }
    push @targets, $1 if $line =~ /^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+.*)?$/;
    for my $target (@targets) {
      next if $target =~ m{^[A-Za-z][A-Za-z0-9+.-]*:} || $target =~ m{^//};
      my ($pathPart, $anchor) = split(/#/, $target, 2);
      my $resolved = $file;
      if ($pathPart ne '') {
        $pathPart = Decode($pathPart);
        my $base = $pathPart =~ m{^/} ? $rootOf{$file} : dirname($file);
        $resolved = "$base/$pathPart";   # a path inside the tree: / joins on every system it runs on
        if (!-e $resolved) {
          push @broken, sprintf("%s:%d: %s: no such file or folder", $file, $n + 1, $target);
          next;
        }
      }
      next if !defined $anchor || $anchor eq '' || -d $resolved || $resolved !~ /\.md$/i;
      if (!Anchors($resolved)->{lc Decode($anchor)}) {
        push @broken, sprintf("%s:%d: %s: no heading with that anchor", $file, $n + 1, $target);
      }
    }
  }
}
print "$_\n" for @broken;
exit(@broken ? 1 : 0);
